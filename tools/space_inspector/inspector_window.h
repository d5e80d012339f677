#pragma once
// The live window: every entry of the Space in a table refreshed five times a second (writer
// in force, priority, a validity bar that runs down, refused writes per second per writer)
// over the plot pane of the last 30 s.
#include <QMainWindow>
#include <QMap>
#include <QTableWidget>
#include <QTimer>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "entry_table.h"
#include "plot_pane.h"
#include "trace.h"

class InspectorWindow : public QMainWindow {
public:
    /// `controller` names the controller in the title; nothing is connected yet.
    InspectorWindow(const QString& controller, const QStringList& plot_keys,
                    QWidget* parent = nullptr);

    /// A new snapshot from the "list" request (time `now`, s).
    void show_entries(const std::vector<InspectedEntry>& entries, double now);

    /// Events that arrived (JSON lines); plotted at the next refresh.
    void add_events(const std::vector<QByteArray>& lines);

    /// Redraws the plot up to `now` (s); the window's own timer calls it 5 times a second.
    void refresh_plot(double now);

    /// A line in the status bar (connection lost, dropped events).
    void set_status(const QString& text);

private:
    QTableWidget* table;
    PlotPane* plot;
    Trace trace;
    QMap<QString, qint64> longest_validity;          // per key: the bar's full length
    // Per key: refused counts of the snapshots of the last 5 s, oldest first.
    QMap<QString, QList<QPair<double, QJsonObject>>> refused_history;
};
