#include "gui/headcontrolgui.h"

#include "core/agentspace.h"
#include "ui_headcontrolgui.h"

HeadControlGui::HeadControlGui(QWidget* parent)
    : QMainWindow(parent), space_key(), ui(new Ui_HeadControlGui) {
    joint_values.resize(joint_count, 0.0);
    // setupUi sets ranges and values before it connects the slots by name, so building the
    // window writes nothing.
    ui->setupUi(this);
    sliders = {ui->joint0, ui->joint1, ui->joint2, ui->joint3, ui->joint4, ui->joint5};
    value_labels = {ui->joint0_text, ui->joint1_text, ui->joint2_text,
                    ui->joint3_text, ui->joint4_text, ui->joint5_text};
}

HeadControlGui::~HeadControlGui() { delete ui; }

void HeadControlGui::enableVelocity(bool enable) {
    if (!enable) return;
    for (QSlider* slider : sliders) {
        // Either call may change the value (clamped into the new range, then moved to 0);
        // each change runs the slider's slot and so writes the vector.
        slider->setRange(-50, 50);
        slider->setSliderPosition(0);
    }
}

void HeadControlGui::publish_joints() {
    const std::string key = space_key;
    const SpaceWriter as("HeadControlGui " + key);  // how the inspector names this window's writes
    Space::getSpace()->write(key, joint_values, 0, 1.0f);
}

void HeadControlGui::joint_changed(int joint, int value) {
    joint_values[static_cast<size_t>(joint)] = static_cast<double>(value);
    value_labels[static_cast<size_t>(joint)]->setNum(value);
    publish_joints();
}

void HeadControlGui::on_joint0_valueChanged(int value) { joint_changed(0, value); }
void HeadControlGui::on_joint1_valueChanged(int value) { joint_changed(1, value); }
void HeadControlGui::on_joint2_valueChanged(int value) { joint_changed(2, value); }
void HeadControlGui::on_joint3_valueChanged(int value) { joint_changed(3, value); }
void HeadControlGui::on_joint4_valueChanged(int value) { joint_changed(4, value); }
void HeadControlGui::on_joint5_valueChanged(int value) { joint_changed(5, value); }

void HeadControlGui::on_restoreButton_clicked() {
    if (restore_mode == RestoreMode::VelocityRanges) {
        enableVelocity(true);
        return;
    }
    for (int joint = 0; joint < joint_count; ++joint) {
        sliders[static_cast<size_t>(joint)]->setSliderPosition(0);
        value_labels[static_cast<size_t>(joint)]->setNum(0);
    }
    // Once more, whether or not a slider moved: pressing Restore always commands zero.
    publish_joints();
}
