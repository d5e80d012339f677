// The head window: every slider change writes all six joints under its key; velocity ranges;
// the two Restore behaviours.
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include "core/agentspace.h"
#include "gui/headcontrolgui.h"
#include "qt_test_support.h"

namespace {

using Joints = std::vector<double>;

/// Records every vector the window writes, then writes it to the Space as usual.
class RecordingHeadWindow : public HeadControlGui {
public:
    explicit RecordingHeadWindow(const std::string& key) {
        space_key = key;
        resize(586, 293);
    }
    std::vector<Joints> writes;
    QSlider& slider(int joint) { return *findChild<QSlider*>(QString("joint%1").arg(joint)); }
    QLabel& value_label(int joint) {
        return *findChild<QLabel*>(QString("joint%1_text").arg(joint));
    }
    void press_restore() { QTest::mouseClick(findChild<QPushButton*>("restoreButton"), Qt::LeftButton); }

protected:
    void publish_joints() override {
        writes.push_back(ac_test::plain(jointValues()));
        HeadControlGui::publish_joints();
    }
};

Joints stored(const std::string& key) {
    return ac_test::plain(Space::getSpace()->read(key, yarp::sig::Vector()));
}

class HeadWindowTest : public WindowTest {};

TEST_F(HeadWindowTest, FormHasTheJointColumnsRangesAndTexts) {
    RecordingHeadWindow window("head_form");
    EXPECT_EQ(window.objectName(), "HeadControlGui");
    EXPECT_EQ(window.windowTitle(), "HeadControlGui");
    EXPECT_EQ(window.findChild<QLabel*>("label_7")->text(), "Head Controls:");
    EXPECT_EQ(window.findChild<QPushButton*>("restoreButton")->text(), "Restore");
    struct Column { const char* caption_name; const char* caption; int min, max; };
    const Column columns[] = {{"label_3", "Pitch", -40, 30},      {"label", "Roll", -70, 60},
                              {"label_2", "Yaw", -55, 55},        {"label_6", "EyeTilt", -35, 15},
                              {"label_5", "EyeVersion", -50, 52}, {"label_4", "EyeVergence", 0, 90}};
    for (int j = 0; j < 6; ++j) {
        SCOPED_TRACE(j);
        QSlider& s = window.slider(j);
        EXPECT_EQ(s.minimum(), columns[j].min);
        EXPECT_EQ(s.maximum(), columns[j].max);
        EXPECT_EQ(s.value(), 0);
        EXPECT_EQ(s.orientation(), Qt::Vertical);
        EXPECT_TRUE(s.hasTracking());
        EXPECT_EQ(window.findChild<QLabel*>(columns[j].caption_name)->text(), columns[j].caption);
        EXPECT_EQ(window.value_label(j).text(), "0");
    }
    // Building the window wrote nothing.
    EXPECT_TRUE(window.writes.empty());
    EXPECT_TRUE(stored("head_form").empty());
}

TEST_F(HeadWindowTest, DraggingWritesAllSixJointsAtEveryStepNotOnlyOnRelease) {
    RecordingHeadWindow window("head_drag");
    window.show();
    QSlider& yaw = window.slider(2);
    drag_slider(yaw, 0, -4, 10);  // upwards: larger values on a vertical slider
    ASSERT_GT(yaw.value(), 0);
    ASSERT_GE(window.writes.size(), 3u) << "a drag reports its intermediate values";
    double previous = 0.0;
    for (const Joints& w : window.writes) {
        ASSERT_EQ(w.size(), 6u);
        EXPECT_GT(w[2], previous);  // every write carries a new value of the dragged joint
        previous = w[2];
        EXPECT_EQ(w[0], 0.0);
        EXPECT_EQ(w[5], 0.0);
    }
    EXPECT_EQ(window.writes.back()[2], yaw.value());
    EXPECT_EQ(window.value_label(2).text(), QString::number(yaw.value()));
    EXPECT_EQ(stored("head_drag"), window.writes.back());
}

TEST_F(HeadWindowTest, KeyboardWheelAndProgramChangesWriteLikeADrag) {
    RecordingHeadWindow window("head_keys");
    window.show();
    QSlider& pitch = window.slider(0);
    pitch.setFocus();
    QTest::keyClick(&pitch, Qt::Key_Up);
    ASSERT_EQ(window.writes.size(), 1u);
    EXPECT_EQ(window.writes[0], (Joints{1, 0, 0, 0, 0, 0}));
    QTest::keyClick(&pitch, Qt::Key_PageUp);  // page step 10
    ASSERT_EQ(window.writes.size(), 2u);
    EXPECT_EQ(window.writes[1], (Joints{11, 0, 0, 0, 0, 0}));

    QSlider& vergence = window.slider(5);
    wheel_slider(vergence, 1);
    ASSERT_EQ(window.writes.size(), 3u);
    EXPECT_GT(window.writes[2][5], 0.0);
    EXPECT_EQ(window.writes[2][0], 11.0);

    window.slider(3).setValue(-20);
    ASSERT_EQ(window.writes.size(), 4u);
    EXPECT_EQ(window.writes[3][3], -20.0);
    EXPECT_EQ(window.value_label(3).text(), "-20");
    EXPECT_EQ(stored("head_keys"), window.writes[3]);

    // Setting the value it already has is no change and writes nothing.
    window.slider(3).setValue(-20);
    EXPECT_EQ(window.writes.size(), 4u);
}

TEST_F(HeadWindowTest, WritesNeverLapseAndCarryPriorityOne) {
    RecordingHeadWindow window("head_priority");
    window.slider(1).setValue(12);
    Space& space = *Space::getSpace();
    yarp::sig::Vector other(6, 99.0);
    space.write("head_priority", other, 0, 0.99f);  // lower priority: refused
    EXPECT_EQ(stored("head_priority"), (Joints{0, 12, 0, 0, 0, 0}));
    space.write("head_priority", other, 0, 1.0f);  // equal priority: replaces
    EXPECT_EQ(stored("head_priority"), Joints(6, 99.0));
}

TEST_F(HeadWindowTest, EnableVelocitySwitchesRangesAndWritesOnlyForSlidersThatMove) {
    RecordingHeadWindow fresh("head_vel_fresh");
    fresh.enableVelocity(false);
    EXPECT_EQ(fresh.slider(5).minimum(), 0);
    fresh.enableVelocity(true);
    EXPECT_TRUE(fresh.writes.empty()) << "every slider is at 0 already";
    for (int j = 0; j < 6; ++j) {
        EXPECT_EQ(fresh.slider(j).minimum(), -50);
        EXPECT_EQ(fresh.slider(j).maximum(), 50);
    }
    // Vergence now accepts negative values although its form range starts at 0.
    fresh.slider(5).setValue(-50);
    ASSERT_EQ(fresh.writes.size(), 1u);
    EXPECT_EQ(fresh.writes[0], (Joints{0, 0, 0, 0, 0, -50}));

    RecordingHeadWindow moved("head_vel_moved");
    ac_test::SpaceWriteCounter space_writes("head_vel_moved");
    moved.slider(0).setValue(-30);  // inside -50..50: moved to 0 only
    moved.slider(5).setValue(80);   // clamped to 50, then moved to 0
    moved.writes.clear();
    moved.enableVelocity(true);
    ASSERT_EQ(moved.writes.size(), 3u);
    EXPECT_EQ(moved.writes[0], (Joints{0, 0, 0, 0, 0, 80}));
    EXPECT_EQ(moved.writes[1], (Joints{0, 0, 0, 0, 0, 50}));
    EXPECT_EQ(moved.writes[2], Joints(6, 0.0));
    EXPECT_EQ(space_writes.writes(), 2u + 3u) << "every recorded write reached the Space";
    EXPECT_EQ(moved.space_key, "head_vel_moved");

    // Once in velocity ranges there is no way back, and false changes nothing.
    moved.enableVelocity(false);
    EXPECT_EQ(moved.slider(5).minimum(), -50);
    EXPECT_EQ(moved.writes.size(), 3u);
}

TEST_F(HeadWindowTest, RestoreZeroesEverySliderAndWritesOnceMore) {
    RecordingHeadWindow window("head_restore_full");
    ac_test::SpaceWriteCounter space_writes("head_restore_full");
    window.show();
    ASSERT_EQ(window.restoreMode(), HeadControlGui::RestoreMode::ZeroAndWrite);
    window.press_restore();
    ASSERT_EQ(window.writes.size(), 1u) << "all at zero: one write";
    EXPECT_EQ(window.writes[0], Joints(6, 0.0));

    window.slider(0).setValue(20);
    window.slider(2).setValue(-10);
    window.slider(4).setValue(5);
    window.writes.clear();
    window.press_restore();
    ASSERT_EQ(window.writes.size(), 4u) << "three sliders away from zero: 3 + 1 writes";
    EXPECT_EQ(window.writes[0], (Joints{0, 0, -10, 0, 5, 0}));
    EXPECT_EQ(window.writes[1], (Joints{0, 0, 0, 0, 5, 0}));
    EXPECT_EQ(window.writes[2], Joints(6, 0.0));
    EXPECT_EQ(window.writes[3], Joints(6, 0.0));
    EXPECT_EQ(space_writes.writes(), 1u + 3u + 4u);
    for (int j = 0; j < 6; ++j) EXPECT_EQ(window.value_label(j).text(), "0");
    // The form's ranges stay.
    EXPECT_EQ(window.slider(0).minimum(), -40);
    EXPECT_EQ(stored("head_restore_full"), Joints(6, 0.0));
}

TEST_F(HeadWindowTest, RestoreInVelocityModeSwitchesRangesAndWritesOnlyMovedSliders) {
    RecordingHeadWindow window("head_restore_basic");
    ac_test::SpaceWriteCounter space_writes("head_restore_basic");
    window.setRestoreMode(HeadControlGui::RestoreMode::VelocityRanges);
    window.show();
    window.press_restore();
    EXPECT_TRUE(window.writes.empty()) << "all at zero: nothing to write";
    EXPECT_EQ(window.slider(5).minimum(), -50);
    EXPECT_EQ(window.slider(0).maximum(), 50);

    window.slider(1).setValue(30);
    window.slider(3).setValue(-7);
    window.writes.clear();
    window.press_restore();
    ASSERT_EQ(window.writes.size(), 2u) << "one write per slider away from zero, no extra";
    EXPECT_EQ(window.writes[0], (Joints{0, 0, 0, -7, 0, 0}));
    EXPECT_EQ(window.writes[1], Joints(6, 0.0));
    EXPECT_EQ(space_writes.writes(), 2u + 2u);
}

}  // namespace
