// The arm window: the constructor's joint vector, the writes of enableVelocity, setName.
#include <QGroupBox>
#include <QLabel>
#include <QSlider>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include "core/agentspace.h"
#include "gui/armcontrolgui.h"
#include "qt_test_support.h"

namespace {

using Joints = std::vector<double>;

class RecordingArmWindow : public ArmControlGui {
public:
    explicit RecordingArmWindow(const std::string& key) { space_key = key; }
    std::vector<Joints> writes;
    QSlider& slider(int joint) { return *findChild<QSlider*>(QString("joint%1").arg(joint)); }
    QString heading() const { return findChild<QLabel*>("windowName")->text(); }

protected:
    void publish_joints() override {
        writes.push_back(ac_test::plain(jointValues()));
        ArmControlGui::publish_joints();
    }
};

/// The vector a fresh window holds: elbow 16, fingers 60, everything else (the thumb
/// opposition included, whose slider shows 10) 0.
Joints fresh_vector() {
    Joints v(16, 0.0);
    v[3] = 16.0;
    v[7] = 60.0;
    return v;
}

class ArmWindowTest : public WindowTest {};

TEST_F(ArmWindowTest, FormHasSixteenJointsInTheirPanels) {
    RecordingArmWindow window("arm_form");
    EXPECT_EQ(window.objectName(), "ArmControlGui");
    EXPECT_EQ(window.windowTitle(), "ArmControlGui");
    EXPECT_EQ(window.heading(), "Arm Controls:");
    EXPECT_TRUE(window.font().bold());
    struct Joint { int min, max, value; const char* caption_name; const char* caption; };
    const Joint joints[16] = {
        {-95, 10, 0, "label_3", "Pitch"},     {0, 160, 0, "label_2", "Roll"},
        {-37, 80, 0, "label", "Yaw"},         {16, 106, 16, "label_4", "Elbow"},
        {-90, 90, 0, "label_7", "Prosup"},    {-90, 0, 0, "label_6", "Pitch"},
        {-20, 40, 0, "label_5", "Yaw"},       {0, 60, 60, "label_8", "Fingers"},
        {10, 90, 10, "label_11", "Oppose"},   {0, 90, 0, "label_10", "Proximal"},
        {0, 180, 0, "label_9", "Distal"},     {0, 90, 0, "label_12", "Proximal"},
        {0, 180, 0, "label_13", "Distal"},    {0, 90, 0, "label_14", "Proximal"},
        {0, 180, 0, "label_15", "Distal"},    {0, 270, 0, "label_16", "Pinky"}};
    for (int j = 0; j < 16; ++j) {
        SCOPED_TRACE(j);
        QSlider& s = window.slider(j);
        EXPECT_EQ(s.minimum(), joints[j].min);
        EXPECT_EQ(s.maximum(), joints[j].max);
        EXPECT_EQ(s.value(), joints[j].value);
        EXPECT_EQ(s.orientation(), Qt::Vertical);
        EXPECT_EQ(window.findChild<QLabel*>(joints[j].caption_name)->text(), joints[j].caption);
        EXPECT_EQ(window.findChild<QLabel*>(QString("joint%1_text").arg(j))->text(), "0");
    }
    // Panels: which group box holds which sliders.
    const std::pair<const char*, std::vector<int>> groups[] = {
        {"groupBox", {0, 1, 2}},  {"groupBox_2", {4, 5, 6}}, {"groupBox_3", {8, 9, 10}},
        {"groupBox_5", {11, 12}}, {"groupBox_6", {13, 14}}};
    for (const auto& [name, members] : groups) {
        auto* box = window.findChild<QGroupBox*>(name);
        ASSERT_NE(box, nullptr) << name;
        for (int j : members) EXPECT_TRUE(box->isAncestorOf(&window.slider(j))) << name << j;
    }
    EXPECT_EQ(window.findChild<QGroupBox*>("groupBox")->title(), "Shoulder:");
    EXPECT_TRUE(window.writes.empty());
}

TEST_F(ArmWindowTest, FirstWriteCarriesTheConstructorsValuesForUnmovedSliders) {
    RecordingArmWindow window("arm_first");
    window.show();
    window.slider(0).setFocus();
    QTest::keyClick(&window.slider(0), Qt::Key_Down);
    ASSERT_EQ(window.writes.size(), 1u);
    Joints expected = fresh_vector();
    expected[0] = -1.0;
    EXPECT_EQ(window.writes[0], expected);
    EXPECT_EQ(ac_test::plain(Space::getSpace()->read("arm_first", yarp::sig::Vector())), expected);
}

TEST_F(ArmWindowTest, EnableVelocityOnAFreshWindowWritesFourTimes) {
    RecordingArmWindow window("arm_velocity");
    ac_test::SpaceWriteCounter space_writes("arm_velocity");
    window.enableVelocity(false);
    EXPECT_TRUE(window.writes.empty());
    EXPECT_EQ(window.slider(3).minimum(), 16);

    window.enableVelocity(true);
    ASSERT_EQ(window.writes.size(), 4u);
    Joints expected = fresh_vector();
    expected[3] = 0.0;  // elbow 16 -> 0
    EXPECT_EQ(window.writes[0], expected);
    expected[7] = 50.0;  // fingers clamped 60 -> 50 by the new range
    EXPECT_EQ(window.writes[1], expected);
    expected[7] = 0.0;  // then moved to 0
    EXPECT_EQ(window.writes[2], expected);
    EXPECT_EQ(window.writes[3], Joints(16, 0.0));  // thumb opposition 10 -> 0
    EXPECT_EQ(space_writes.writes(), 4u);
    for (int j = 0; j < 16; ++j) {
        EXPECT_EQ(window.slider(j).minimum(), -50);
        EXPECT_EQ(window.slider(j).maximum(), 50);
        EXPECT_EQ(window.slider(j).value(), 0);
    }
    EXPECT_EQ(window.space_key, "arm_velocity");

    window.enableVelocity(false);
    window.enableVelocity(true);  // everything at 0 already
    EXPECT_EQ(window.writes.size(), 4u);
}

TEST_F(ArmWindowTest, SetNameReplacesOnlyTheHeading) {
    RecordingArmWindow window("arm_name");
    window.setName("Left Arm Controls:");
    EXPECT_EQ(window.heading(), "Left Arm Controls:");
    window.setName("Right Arm Controls:");
    EXPECT_EQ(window.heading(), "Right Arm Controls:");
    EXPECT_EQ(window.windowTitle(), "ArmControlGui");
    EXPECT_TRUE(window.writes.empty());
}

}  // namespace
