// The inspector's window and plot fed from a real Space (entries through the rpc reply,
// events through the trace): the writer in force and its validity bar in the table, and the
// holder of head_vel along the time axis, kept by refused writes past its own validity.
#include <QProgressBar>
#include <QTableWidget>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/space_ports.h"
#include "inspector_window.h"
#include "qt_test_support.h"

namespace {

using Vec = std::vector<double>;

std::vector<InspectedEntry> listed(Space& space) {
    const yarp::os::Bottle reply = space_request_reply(space, yarp::os::Bottle("list"));
    std::vector<InspectedEntry> entries;
    QString error;
    EXPECT_TRUE(parse_entries(QByteArray::fromStdString(reply.get(1).asString()), &entries, &error))
        << error.toStdString();
    return entries;
}

/// Whether every pixel of `image` has one colour (nothing drawn).
bool uniform(const QImage& image) {
    for (int y = 0; y < image.height(); y += 4) {
        for (int x = 0; x < image.width(); x += 4) {
            if (image.pixel(x, y) != image.pixel(0, 0)) return false;
        }
    }
    return true;
}

TEST(SpaceInspectorWindow, ShowsTheWriterInForceItsValidityAndWhoHeldTheKey) {
    test_application();
    Space space;
    space.capture_events(true);
    {
        const SpaceWriter as("LookAtAgent lookConfig");
        space.write("head_vel", Vec{0, 0, 5, 0, 0, 0}, 5000, 100.0f);
    }
    {
        const SpaceWriter as("EyeVersionAgent search");
        space.write("head_vel", Vec{0, 0, 0, 0, 70, 0}, 10000, 1.0f);  // refused, restarts 10 s
    }
    space.write("hConfig", ConfBlock{"MotorAgent Head", "head_joints", "", "", "", "", ""}, 0, 1.0f);

    InspectorWindow window("/agent_controller", {"head_vel"});
    window.show_entries(listed(space), 100.0);
    std::vector<QByteArray> lines;
    double first = 0;
    space.event_buffer().drain([&](const SpaceEvent& e) {
        lines.push_back(QByteArray::fromStdString(e.json()));
        if (first == 0) first = space_json::seconds(e.time);
    });
    ASSERT_EQ(lines.size(), 3u);
    window.add_events(lines);
    window.refresh_plot(first + 20.0);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    auto* table = window.findChild<QTableWidget*>();
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->rowCount(), 2);
    EXPECT_EQ(table->item(0, 0)->text(), "head_vel") << "robot data before configuration records";
    EXPECT_EQ(table->item(0, 1)->text(), "LookAtAgent lookConfig");
    EXPECT_TRUE(table->item(0, 4)->text().startsWith("EyeVersionAgent search 1")) << table->item(0, 4)->text().toStdString();
    auto* bar = qobject_cast<QProgressBar*>(table->cellWidget(0, 3));
    ASSERT_NE(bar, nullptr);
    EXPECT_GT(bar->value(), 5000) << "the refused write's 10 s hold the tracking command";
    EXPECT_EQ(qobject_cast<QProgressBar*>(table->cellWidget(1, 3))->format(), "never lapses");

    Trace trace;
    for (const QByteArray& line : lines) ASSERT_TRUE(trace.add_line(line));
    const std::vector<WriterSpan> spans = trace.holders("head_vel", first + 20.0);
    ASSERT_EQ(spans.size(), 1u);
    EXPECT_EQ(spans[0].writer, "LookAtAgent lookConfig");
    EXPECT_GT(spans[0].to - spans[0].from, 9.9) << "held to the refused write's lapse, not 5 s";
    EXPECT_LT(spans[0].to - spans[0].from, 10.5);

    const QImage picture = window.grab().toImage();
    EXPECT_GE(picture.width(), 800);
    EXPECT_FALSE(uniform(picture)) << "the window drew something";
}

}  // namespace
