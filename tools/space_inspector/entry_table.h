#pragma once
// Entries of the Space as the inspector reads them from a "list" reply, and the aligned text
// table of --once.
#include <QJsonObject>
#include <QString>
#include <vector>

/// One entry of a "list" reply, with the fields the views show.
struct InspectedEntry {
    QString key, type, value, writer;
    double priority = 0;
    bool never_lapses = false, lapsed = false;
    qint64 valid_ms = 0;
    QJsonObject writes, refused;  ///< counts by writer
    int watchers = 0;

    /// "never lapses", "lapsed" or "250 ms".
    QString validity_text() const;
    /// "LookAtAgent lookConfig 12, ..." from a counts object.
    static QString counts_text(const QJsonObject& counts);
};

/// Parses a "list" reply; false with `error` set when it is not a JSON array of entries.
bool parse_entries(const QByteArray& json, std::vector<InspectedEntry>* out, QString* error);

/// The entries as an aligned text table, one line per entry, values cut to `value_width`.
QString entries_table(const std::vector<InspectedEntry>& entries, int value_width = 60);
