#include "entry_table.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

QString InspectedEntry::validity_text() const {
    if (never_lapses) return "never lapses";
    if (lapsed) return "lapsed";
    return QString::number(valid_ms) + " ms";
}

QString InspectedEntry::counts_text(const QJsonObject& counts) {
    QStringList parts;
    for (auto it = counts.begin(); it != counts.end(); ++it) {
        const int n = it.value().toInt();
        if (n > 0) parts << it.key() + " " + QString::number(n);
    }
    return parts.isEmpty() ? "-" : parts.join(", ");
}

bool parse_entries(const QByteArray& json, std::vector<InspectedEntry>* out, QString* error) {
    QJsonParseError parse{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parse);
    if (!doc.isArray()) {
        *error = "the controller's list is not a JSON array: " + parse.errorString();
        return false;
    }
    out->clear();
    for (const QJsonValue& v : doc.array()) {
        const QJsonObject o = v.toObject();
        InspectedEntry e;
        e.key = o.value("key").toString();
        e.type = o.value("type").toString();
        const QJsonValue value = o.value("value");
        e.value = value.isString() ? value.toString()
                  : value.isDouble() ? QString::number(value.toDouble())
                  : value.isBool()   ? (value.toBool() ? "true" : "false")
                  : value.isNull()   ? "-"
                  : value.isArray()
                      ? QString::fromUtf8(QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact))
                      : QString::fromUtf8(QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
        e.priority = o.value("priority").toDouble();
        e.never_lapses = o.value("valid_ms").isNull();
        e.lapsed = o.value("lapsed").toBool();
        e.valid_ms = static_cast<qint64>(o.value("valid_ms").toDouble());
        e.writer = o.value("writer").toString();
        e.writes = o.value("writes").toObject();
        e.refused = o.value("refused").toObject();
        e.watchers = o.value("watchers").toInt();
        out->push_back(e);
    }
    return true;
}

QString entries_table(const std::vector<InspectedEntry>& entries, int value_width) {
    const QStringList head{"KEY", "TYPE", "PRIORITY", "VALID", "WRITER IN FORCE", "WRITES",
                           "REFUSED", "WATCHERS", "VALUE"};
    std::vector<QStringList> rows{head};
    for (const InspectedEntry& e : entries) {
        QString value = e.value;
        if (value.size() > value_width) value = value.left(value_width - 3) + "...";
        rows.push_back({e.key, e.type, QString::number(e.priority), e.validity_text(), e.writer,
                        InspectedEntry::counts_text(e.writes),
                        InspectedEntry::counts_text(e.refused), QString::number(e.watchers),
                        value});
    }
    std::vector<int> width(head.size(), 0);
    for (const QStringList& r : rows) {
        for (int c = 0; c < r.size(); ++c) width[c] = std::max(width[c], r[c].size());
    }
    QString text;
    for (const QStringList& r : rows) {
        QString line;
        for (int c = 0; c < r.size(); ++c) {
            line += c + 1 < r.size() ? r[c].leftJustified(width[c] + 2) : r[c];
        }
        text += line.trimmed() + "\n";
    }
    return text;
}
