#include "plot_pane.h"

#include <QVBoxLayout>
#include <QtCharts/QAreaSeries>
#include <QtCharts/QCategoryAxis>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>
#include <cmath>

using namespace QtCharts;

QStringList component_names(const QString& key, std::size_t size) {
    QStringList names;
    if (key == "ballPos") {
        // column and row of the ball; image size and found flag would flatten the scale
        names << "column" << "row";
    } else if (size == 6) {
        names << "pitch" << "roll" << "yaw" << "eye tilt" << "eye version" << "eye vergence";
    } else {
        for (std::size_t i = 0; i < size; ++i) names << QString("[%1]").arg(i);
    }
    while (static_cast<std::size_t>(names.size()) > size) names.removeLast();
    while (static_cast<std::size_t>(names.size()) < size) names << QString();
    return names;
}

PlotPane::PlotPane(const QStringList& k, const QString& a, QWidget* parent)
    : QWidget(parent), keys(k), arbitrated(a) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (int i = 0; i <= keys.size(); ++i) {
        auto* chart = new QChart();
        chart->setMargins(QMargins(4, 2, 4, 2));
        chart->legend()->setAlignment(Qt::AlignRight);
        chart->setTitle(i < keys.size() ? keys[i] : "writer in force: " + arbitrated);
        auto* view = new QChartView(chart, this);
        view->setRenderHint(QPainter::Antialiasing);
        view->setMinimumHeight(i < keys.size() ? 170 : 230);
        layout->addWidget(view, 3);
        charts << chart;
    }
}

void PlotPane::show_trace(const Trace& trace, double from, double to) {
    const double span = std::max(1.0, to - from);
    for (int i = 0; i < keys.size(); ++i) {
        QChart* chart = charts[i];
        chart->removeAllSeries();
        for (QAbstractAxis* axis : chart->axes()) chart->removeAxis(axis);
        const std::vector<TracePoint>& points = trace.points(keys[i]);
        const std::size_t width = points.empty() ? 0 : points.back().values.size();
        const QStringList names = component_names(keys[i], width);
        double lo = INFINITY, hi = -INFINITY;
        auto* x = new QValueAxis();
        x->setRange(0, span);
        x->setTitleText("s");
        auto* y = new QValueAxis();
        chart->addAxis(x, Qt::AlignBottom);
        chart->addAxis(y, Qt::AlignLeft);
        for (std::size_t c = 0; c < width; ++c) {
            if (names[static_cast<int>(c)].isEmpty()) continue;
            auto* line = new QLineSeries();
            line->setName(names[static_cast<int>(c)]);
            bool started = false;
            double held = 0;
            for (const TracePoint& p : points) {
                if (c >= p.values.size() || p.t > to) continue;
                const double v = p.values[c];
                if (!std::isfinite(v)) continue;
                // Steps: a value holds until the next accepted write.
                if (started) line->append(std::max(0.0, p.t - from), held);
                line->append(std::max(0.0, p.t - from), v);
                started = true;
                held = v;
                lo = std::min(lo, v);
                hi = std::max(hi, v);
            }
            if (started) line->append(span, held);
            chart->addSeries(line);
            line->attachAxis(x);
            line->attachAxis(y);
        }
        if (!(lo <= hi)) lo = -1, hi = 1;
        const double pad = std::max(1e-3, (hi - lo) * 0.08);
        y->setRange(lo - pad, hi + pad);
    }

    // Bands: one row per writer, filled where it holds the arbitrated key.
    QChart* bands = charts.back();
    bands->removeAllSeries();
    for (QAbstractAxis* axis : bands->axes()) bands->removeAxis(axis);
    const std::vector<WriterSpan> spans = trace.holders(arbitrated, to);
    QStringList writers;
    for (const WriterSpan& s : spans) {
        if (!writers.contains(s.writer)) writers << s.writer;
    }
    auto* x = new QValueAxis();
    x->setRange(0, span);
    x->setTitleText("s");
    auto* y = new QCategoryAxis();
    y->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    y->setRange(0, std::max(1, writers.size()));
    bands->addAxis(x, Qt::AlignBottom);
    bands->addAxis(y, Qt::AlignLeft);
    bands->legend()->setVisible(false);
    QFont small = y->labelsFont();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    y->setLabelsFont(small);
    for (int w = 0; w < writers.size(); ++w) {
        y->append(writers[w], w + 0.5);
        auto* upper = new QLineSeries();
        auto* lower = new QLineSeries();
        const double base = w + 0.1, top = w + 0.9;
        upper->append(0, base);
        for (const WriterSpan& s : spans) {
            if (s.writer != writers[w] || s.to < from) continue;
            const double a = std::max(0.0, s.from - from), b = std::min(span, s.to - from);
            upper->append(a, base);
            upper->append(a, top);
            upper->append(b, top);
            upper->append(b, base);
        }
        upper->append(span, base);
        lower->append(0, base);
        lower->append(span, base);
        auto* area = new QAreaSeries(upper, lower);
        area->setName(writers[w]);
        bands->addSeries(area);
        area->attachAxis(x);
        area->attachAxis(y);
    }
}
