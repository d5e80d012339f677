#include "gui/armcontrolgui.h"

#include "core/agentspace.h"
#include "ui_armcontrolgui.h"

ArmControlGui::ArmControlGui(QWidget* parent)
    : QMainWindow(parent), space_key(), ui(new Ui_ArmControlGui) {
    joint_values.resize(joint_count, 0.0);
    // The elbow and the fingers start where their sliders start. The thumb opposition
    // (element 8) stays 0.0 although its slider shows its minimum 10: the vector holds what
    // the sliders have reported, and none has reported yet.
    joint_values[3] = 16.0;
    joint_values[7] = 60.0;
    // setupUi sets ranges and values before it connects the slots by name, so building the
    // window writes nothing.
    ui->setupUi(this);
    sliders = {ui->joint0,  ui->joint1,  ui->joint2,  ui->joint3,  ui->joint4,  ui->joint5,
               ui->joint6,  ui->joint7,  ui->joint8,  ui->joint9,  ui->joint10, ui->joint11,
               ui->joint12, ui->joint13, ui->joint14, ui->joint15};
    value_labels = {ui->joint0_text,  ui->joint1_text,  ui->joint2_text,  ui->joint3_text,
                    ui->joint4_text,  ui->joint5_text,  ui->joint6_text,  ui->joint7_text,
                    ui->joint8_text,  ui->joint9_text,  ui->joint10_text, ui->joint11_text,
                    ui->joint12_text, ui->joint13_text, ui->joint14_text, ui->joint15_text};
}

ArmControlGui::~ArmControlGui() { delete ui; }

void ArmControlGui::setName(const char* name) {
    ui->windowName->setText(QString::fromUtf8(name != nullptr ? name : ""));
}

void ArmControlGui::enableVelocity(bool enable) {
    if (!enable) return;
    for (QSlider* slider : sliders) {
        // Either call may change the value (clamped into the new range, then moved to 0);
        // each change runs the slider's slot and so writes the vector.
        slider->setRange(-50, 50);
        slider->setSliderPosition(0);
    }
}

void ArmControlGui::publish_joints() {
    const std::string key = space_key;
    const SpaceWriter as("ArmControlGui " + key);  // how the inspector names this window's writes
    Space::getSpace()->write(key, joint_values, 0, 1.0f);
}

void ArmControlGui::joint_changed(int joint, int position) {
    joint_values[static_cast<size_t>(joint)] = static_cast<double>(position);
    value_labels[static_cast<size_t>(joint)]->setNum(position);
    publish_joints();
}

void ArmControlGui::on_joint0_valueChanged(int position) { joint_changed(0, position); }
void ArmControlGui::on_joint1_valueChanged(int position) { joint_changed(1, position); }
void ArmControlGui::on_joint2_valueChanged(int position) { joint_changed(2, position); }
void ArmControlGui::on_joint3_valueChanged(int position) { joint_changed(3, position); }
void ArmControlGui::on_joint4_valueChanged(int position) { joint_changed(4, position); }
void ArmControlGui::on_joint5_valueChanged(int position) { joint_changed(5, position); }
void ArmControlGui::on_joint6_valueChanged(int position) { joint_changed(6, position); }
void ArmControlGui::on_joint7_valueChanged(int position) { joint_changed(7, position); }
void ArmControlGui::on_joint8_valueChanged(int position) { joint_changed(8, position); }
void ArmControlGui::on_joint9_valueChanged(int position) { joint_changed(9, position); }
void ArmControlGui::on_joint10_valueChanged(int position) { joint_changed(10, position); }
void ArmControlGui::on_joint11_valueChanged(int position) { joint_changed(11, position); }
void ArmControlGui::on_joint12_valueChanged(int position) { joint_changed(12, position); }
void ArmControlGui::on_joint13_valueChanged(int position) { joint_changed(13, position); }
void ArmControlGui::on_joint14_valueChanged(int position) { joint_changed(14, position); }
void ArmControlGui::on_joint15_valueChanged(int position) { joint_changed(15, position); }
