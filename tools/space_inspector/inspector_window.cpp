#include "inspector_window.h"

#include <QHeaderView>

#include <algorithm>
#include <QProgressBar>
#include <QSplitter>
#include <QStatusBar>

namespace {

enum Column { kKey, kWriter, kPriority, kValidity, kRefusedRate, kWrites, kType, kWatchers, kValue, kColumns };

}  // namespace

InspectorWindow::InspectorWindow(const QString& controller, const QStringList& plot_keys,
                                 QWidget* parent)
    : QMainWindow(parent) {
    setWindowTitle("Space inspector: " + controller);
    auto* split = new QSplitter(Qt::Vertical, this);
    table = new QTableWidget(0, kColumns, split);
    table->setHorizontalHeaderLabels({"Key", "Writer in force", "Priority", "Validity left",
                                      "Refused writes", "Accepted writes", "Type", "Watchers",
                                      "Value"});
    table->verticalHeader()->setVisible(false);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->horizontalHeader()->setStretchLastSection(true);
    plot = new PlotPane(plot_keys, "head_vel", split);
    split->addWidget(table);
    split->addWidget(plot);
    table->setMinimumHeight(260);
    split->setStretchFactor(0, 2);
    split->setStretchFactor(1, 3);
    setCentralWidget(split);
    resize(1400, 1250);
    split->setSizes({450, 800});
}

void InspectorWindow::show_entries(const std::vector<InspectedEntry>& listed, double now) {
    // Robot data and commands first, the configuration records (written once) after them.
    std::vector<InspectedEntry> entries = listed;
    std::stable_sort(entries.begin(), entries.end(), [](const InspectedEntry& a, const InspectedEntry& b) {
        return !a.type.endsWith("Block") && b.type.endsWith("Block");
    });
    table->setRowCount(static_cast<int>(entries.size()));
    int row = 0;
    for (const InspectedEntry& e : entries) {
        auto set = [&](int column, const QString& text) {
            QTableWidgetItem* item = table->item(row, column);
            if (item == nullptr) table->setItem(row, column, item = new QTableWidgetItem());
            item->setText(text);
        };
        set(kKey, e.key);
        set(kWriter, e.writer);
        set(kPriority, QString::number(e.priority));
        set(kType, e.type);
        set(kWatchers, QString::number(e.watchers));
        set(kValue, e.value);
        set(kWrites, InspectedEntry::counts_text(e.writes));

        // Refused writes per second per writer, over the last 5 s of snapshots (the search
        // agents write every second or two).
        QList<QPair<double, QJsonObject>>& history = refused_history[e.key];
        while (history.size() > 1 && history.first().first < now - 5.0) history.removeFirst();
        const double dt = history.isEmpty() ? 0 : now - history.first().first;
        const QJsonObject before = history.isEmpty() ? QJsonObject() : history.first().second;
        history.append(qMakePair(now, e.refused));
        QStringList rates;
        for (auto it = e.refused.begin(); it != e.refused.end(); ++it) {
            const int n = it.value().toInt();
            if (n == 0) continue;
            const double rate = dt > 0 ? (n - before.value(it.key()).toInt()) / dt : 0;
            rates << QString("%1 %2 (%3/s)").arg(it.key()).arg(n).arg(rate, 0, 'f', 1);
        }
        set(kRefusedRate, rates.isEmpty() ? "-" : rates.join(", "));

        auto* bar = qobject_cast<QProgressBar*>(table->cellWidget(row, kValidity));
        if (bar == nullptr) {
            bar = new QProgressBar();
            bar->setTextVisible(true);
            table->setCellWidget(row, kValidity, bar);
        }
        qint64& longest = longest_validity[e.key];
        if (e.never_lapses || e.lapsed) {
            longest = 0;
            bar->setRange(0, 1);
            bar->setValue(e.never_lapses ? 1 : 0);
        } else {
            if (e.valid_ms > longest) longest = e.valid_ms;  // a fresh write: full bar
            bar->setRange(0, static_cast<int>(std::max<qint64>(1, longest)));
            bar->setValue(static_cast<int>(e.valid_ms));
        }
        bar->setFormat(e.validity_text());
        ++row;
    }
    table->resizeColumnsToContents();
}

void InspectorWindow::add_events(const std::vector<QByteArray>& lines) {
    for (const QByteArray& line : lines) trace.add_line(line);
}

void InspectorWindow::refresh_plot(double now) {
    trace.drop_before(now - 30.0);
    plot->show_trace(trace, now - 30.0, now);
}

void InspectorWindow::set_status(const QString& text) { statusBar()->showMessage(text); }
