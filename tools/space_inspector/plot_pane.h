#pragma once
// The plot pane: chosen numeric entries over a time window, one autoscaled chart each, and
// under them who held the arbitrated key (head_vel) when, as coloured bands along the same
// time axis. The window shows it live; --plot draws a recorded trace with it.
#include <QStringList>
#include <QWidget>

#include "trace.h"

namespace QtCharts {
class QChart;
class QChartView;
}  // namespace QtCharts

class PlotPane : public QWidget {
public:
    /// Plots `keys`; the bands show the holders of `arbitrated`.
    PlotPane(const QStringList& keys, const QString& arbitrated, QWidget* parent = nullptr);

    /// Redraws from `trace` between `from` and `to` (s, wall clock; the axis shows seconds
    /// from `from`).
    void show_trace(const Trace& trace, double from, double to);

private:
    QStringList keys;
    QString arbitrated;
    QList<QtCharts::QChart*> charts;  // one per key, then the bands
};

/// Names of the components of a key's vector, for the legend ("pitch", "column", ...);
/// empty names for components not plotted.
QStringList component_names(const QString& key, std::size_t size);
