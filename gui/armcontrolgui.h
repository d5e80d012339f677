#pragma once
// The arm control window: sixteen sliders for the joints of one arm and hand (shoulder,
// elbow, wrist, fingers). Every change of a slider writes the whole sixteen-element joint
// vector into the Space under `space_key`, for a motor agent watching that key.
#include <QMainWindow>

#include <array>
#include <string>

#include <yarp/sig/Vector.h>

class QLabel;
class QSlider;
class Ui_ArmControlGui;

/// Operator window for the sixteen joints of one arm; one class serves both arms, setName()
/// tells them apart on screen.
///
/// As in the head window, the slider value goes unchanged into the vector, and
/// enableVelocity(true) turns every slider into a -50..50 control centred on 0.
class ArmControlGui : public QMainWindow {
    Q_OBJECT

public:
    /// Number of arm joints, and so of sliders and vector elements.
    static constexpr int joint_count = 16;

    /// Builds the window from its form. Writes nothing to the Space. The joint vector starts
    /// all 0.0 except the elbow (element 3) at 16.0 and the fingers (element 7) at 60.0.
    explicit ArmControlGui(QWidget* parent = nullptr);
    ~ArmControlGui() override;

    /// Replaces the heading text (for example "Left Arm Controls:"); the window title stays.
    void setName(const char* name);

    /// When `enable` is true, sets every slider's range to -50..50 and moves it to 0; each
    /// slider whose value changes by this writes the vector like an operator's move. Does
    /// nothing when `enable` is false.
    void enableVelocity(bool enable);

    /// Space key the joint vector is written under; assigned by the program after
    /// construction. Empty until then.
    std::string space_key;

protected:
    /// Writes `joint_values` into the Space under `space_key` (validity 0: never lapses;
    /// priority 1.0). The one place where the window touches the Space.
    virtual void publish_joints();

    /// The last value every slider reported, or the constructor's value for sliders never
    /// moved.
    const yarp::sig::Vector& jointValues() const { return joint_values; }

private slots:
    void on_joint0_valueChanged(int position);
    void on_joint1_valueChanged(int position);
    void on_joint2_valueChanged(int position);
    void on_joint3_valueChanged(int position);
    void on_joint4_valueChanged(int position);
    void on_joint5_valueChanged(int position);
    void on_joint6_valueChanged(int position);
    void on_joint7_valueChanged(int position);
    void on_joint8_valueChanged(int position);
    void on_joint9_valueChanged(int position);
    void on_joint10_valueChanged(int position);
    void on_joint11_valueChanged(int position);
    void on_joint12_valueChanged(int position);
    void on_joint13_valueChanged(int position);
    void on_joint14_valueChanged(int position);
    void on_joint15_valueChanged(int position);

private:
    /// Common body of the slider slots: remember, show, write.
    void joint_changed(int joint, int position);

    Ui_ArmControlGui* ui;
    yarp::sig::Vector joint_values;
    std::array<QSlider*, joint_count> sliders{};
    std::array<QLabel*, joint_count> value_labels{};
};
