#include "trace.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

namespace {

const std::vector<TracePoint> kNoPoints;

}  // namespace

bool Trace::add(const QJsonObject& event) {
    if (!event.contains("t") || !event.contains("key") || !event.contains("accepted")) return false;
    const double t = event.value("t").toDouble();
    const QString key = event.value("key").toString();
    const QString writer = event.value("writer").toString();
    const bool accepted = event.value("accepted").toBool();
    const int validity = event.value("validity_ms").toInt();
    const double until =
        validity == 0 ? std::numeric_limits<double>::infinity() : t + validity / 1000.0;
    first_t = std::min(first_t, t);
    last_t = std::max(last_t, t);

    Holder& h = holding[key];
    if (h.active && t > h.until) {  // the value lapsed before this write
        closed[key].push_back(WriterSpan{h.since, h.until, h.writer});
        h.active = false;
    }
    if (accepted) {
        if (h.active && h.writer != writer) {
            closed[key].push_back(WriterSpan{h.since, t, h.writer});
            h.active = false;
        }
        if (!h.active) {
            h.writer = writer;
            h.since = t;
            h.active = true;
        }
        const QJsonValue value = event.value("value");
        TracePoint p{t, {}};
        if (value.isArray()) {
            for (const QJsonValue& v : value.toArray()) p.values.push_back(v.toDouble());
        } else if (value.isDouble()) {
            p.values.push_back(value.toDouble());
        }
        if (!p.values.empty()) series[key].push_back(std::move(p));
    }
    h.until = until;  // a refused write restarts the validity of the value in force too
    return true;
}

bool Trace::add_line(const QByteArray& line) {
    const QJsonDocument doc = QJsonDocument::fromJson(line);
    return doc.isObject() && add(doc.object());
}

bool Trace::load(const QString& file, QString* error) {
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) {
        *error = "cannot read " + file;
        return false;
    }
    int events = 0, bad = 0;
    while (!in.atEnd()) {
        const QByteArray line = in.readLine().trimmed();
        if (line.isEmpty()) continue;
        if (add_line(line)) {
            ++events;
        } else {
            ++bad;
        }
    }
    if (events == 0) {
        *error = file + " holds no event (" + QString::number(bad) + " lines that are not one)";
        return false;
    }
    return true;
}

void Trace::drop_before(double t) {
    for (auto& s : series) {
        auto& v = s.second;
        std::size_t keep = 0;
        while (keep < v.size() && v[keep].t < t) ++keep;
        // Keep the last value before `t`: it is still in force at `t`.
        if (keep > 0) v.erase(v.begin(), v.begin() + static_cast<long>(keep - 1));
    }
    for (auto& c : closed) {
        auto& v = c.second;
        std::size_t gone = 0;
        while (gone < v.size() && v[gone].to < t) ++gone;
        v.erase(v.begin(), v.begin() + static_cast<long>(gone));
    }
    first_t = std::max(first_t, t);
}

const std::vector<TracePoint>& Trace::points(const QString& key) const {
    auto it = series.find(key);
    return it == series.end() ? kNoPoints : it->second;
}

std::vector<WriterSpan> Trace::holders(const QString& key, double now) const {
    std::vector<WriterSpan> spans;
    auto c = closed.find(key);
    if (c != closed.end()) spans = c->second;
    auto h = holding.find(key);
    if (h != holding.end() && h->second.active) {
        spans.push_back(WriterSpan{h->second.since, std::min(now, h->second.until), h->second.writer});
    }
    return spans;
}
