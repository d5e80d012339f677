#pragma once
// Helpers shared by the window suites: one QApplication for the whole test program, and
// operator input sent to a slider the way Qt delivers it. Counting Space writes and comparing
// vectors are support/space_write_counter.h and support/vectors.h.
#include <QApplication>
#include <QMouseEvent>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include "support/space_write_counter.h"
#include "support/vectors.h"

/// The process's QApplication, created on first use (QT_QPA_PLATFORM=offscreen in ctest).
/// Never destroyed: windows of other suites may outlive any scope we could give it.
inline QApplication& test_application() {
    static int argc = 1;
    static char name[] = "gui_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

/// A window suite's fixture: the QApplication exists before each case.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override { test_application(); }
};

/// Centre of a slider's handle in the slider's own coordinates.
inline QPoint slider_handle_centre(QSlider& slider) {
    QStyleOptionSlider option;
    option.initFrom(&slider);
    option.orientation = slider.orientation();
    option.minimum = slider.minimum();
    option.maximum = slider.maximum();
    option.sliderPosition = slider.sliderPosition();
    option.sliderValue = slider.value();
    option.singleStep = slider.singleStep();
    option.pageStep = slider.pageStep();
    option.upsideDown = slider.orientation() == Qt::Horizontal ? slider.invertedAppearance()
                                                               : !slider.invertedAppearance();
    option.subControls = QStyle::SC_SliderHandle;
    return slider.style()
        ->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, &slider)
        .center();
}

inline void send_mouse(QSlider& slider, QEvent::Type type, QPoint at, Qt::MouseButtons held) {
    const Qt::MouseButton button =
        type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, at, slider.mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(&slider, &event);
}

/// Grabs the handle with the left button, moves it `steps` times by (dx, dy) pixels and
/// releases it, as an operator's drag does.
inline void drag_slider(QSlider& slider, int dx, int dy, int steps) {
    QPoint at = slider_handle_centre(slider);
    send_mouse(slider, QEvent::MouseButtonPress, at, Qt::LeftButton);
    for (int i = 0; i < steps; ++i) {
        at += QPoint(dx, dy);
        send_mouse(slider, QEvent::MouseMove, at, Qt::LeftButton);
    }
    send_mouse(slider, QEvent::MouseButtonRelease, at, Qt::NoButton);
}

/// One notch of the mouse wheel over the slider (positive `notches` = away from the user).
inline void wheel_slider(QSlider& slider, int notches) {
    const QPoint at = slider_handle_centre(slider);
    QWheelEvent event(at, slider.mapToGlobal(at), QPoint(), QPoint(0, 120 * notches),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&slider, &event);
}
