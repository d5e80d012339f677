#pragma once
// The head control window: six sliders for the head joints (pitch, roll, yaw of the neck;
// tilt, version, vergence of the eyes). Every change of a slider writes the whole six-element
// joint vector into the Space under `space_key`, where a motor agent picks it up.
#include <QMainWindow>

#include <array>
#include <string>

#include <yarp/sig/Vector.h>

class QLabel;
class QSlider;
class Ui_HeadControlGui;

/// Operator window for the six head joints.
///
/// The slider value goes unchanged into the vector: with the form's ranges the window drives
/// joint position targets, after enableVelocity(true) every slider runs from -50 to 50 around
/// 0 and suits a velocity key. The window never talks to the robot itself.
class HeadControlGui : public QMainWindow {
    Q_OBJECT

public:
    /// What the Restore button does.
    enum class RestoreMode {
        /// Move every slider to 0, then write the (all-zero) vector once more. The full
        /// controller's behaviour and the default.
        ZeroAndWrite,
        /// Switch to the velocity ranges (enableVelocity(true)) and nothing else: only the
        /// sliders that actually move write. The basic controller's behaviour.
        VelocityRanges,
    };

    /// Number of head joints, and so of sliders and vector elements.
    static constexpr int joint_count = 6;

    /// Builds the window from its form. Writes nothing to the Space.
    explicit HeadControlGui(QWidget* parent = nullptr);
    ~HeadControlGui() override;

    /// When `enable` is true, sets every slider's range to -50..50 and moves it to 0; each
    /// slider whose value changes by this writes the vector like an operator's move. Does
    /// nothing when `enable` is false. There is no way back to the form's ranges.
    void enableVelocity(bool enable);

    /// Chooses what Restore does (ZeroAndWrite unless changed).
    void setRestoreMode(RestoreMode mode) { restore_mode = mode; }
    RestoreMode restoreMode() const { return restore_mode; }

    /// Space key the joint vector is written under; assigned by the program after
    /// construction. Empty until then.
    std::string space_key;

protected:
    /// Writes `joint_values` into the Space under `space_key` (validity 0: never lapses;
    /// priority 1.0). The one place where the window touches the Space.
    virtual void publish_joints();

    /// The last value every slider reported (all 0.0 after construction).
    const yarp::sig::Vector& jointValues() const { return joint_values; }

private slots:
    void on_joint0_valueChanged(int value);
    void on_joint1_valueChanged(int value);
    void on_joint2_valueChanged(int value);
    void on_joint3_valueChanged(int value);
    void on_joint4_valueChanged(int value);
    void on_joint5_valueChanged(int value);
    void on_restoreButton_clicked();

private:
    /// Common body of the slider slots: remember, show, write.
    void joint_changed(int joint, int value);

    Ui_HeadControlGui* ui;
    yarp::sig::Vector joint_values;
    RestoreMode restore_mode = RestoreMode::ZeroAndWrite;
    std::array<QSlider*, joint_count> sliders{};
    std::array<QLabel*, joint_count> value_labels{};
};
