#pragma once
// A trace of Space writes read back from JSON lines (recorded or streamed live): the value in
// force of each numeric key over time, and who held each key when.
#include <limits>
#include <map>
#include <vector>

#include <QJsonObject>
#include <QString>

/// One accepted write of a numeric key: its time (s, wall clock) and value.
struct TracePoint {
    double t = 0;
    std::vector<double> values;
};

/// A writer holding a key from `from` to `to` (s): from its accepted write until another
/// writer's accepted write or the lapse of its value (which refused writes postpone).
struct WriterSpan {
    double from = 0;
    double to = 0;
    QString writer;
};

class Trace {
public:
    /// Adds one event (fields t, key, writer, priority, validity_ms, accepted, value); events
    /// come oldest first. False when the object is not an event.
    bool add(const QJsonObject& event);

    /// Adds one JSON line; false when it is not an event.
    bool add_line(const QByteArray& line);

    /// Reads a recorded trace; false with `error` set when the file cannot be read or holds
    /// no event.
    bool load(const QString& file, QString* error);

    /// Forgets everything before `t`.
    void drop_before(double t);

    /// The accepted values of `key`, oldest first.
    const std::vector<TracePoint>& points(const QString& key) const;

    /// Who held `key`, up to `now` (the span in force is closed at `now` or its lapse).
    std::vector<WriterSpan> holders(const QString& key, double now) const;

    double first() const { return first_t; }
    double last() const { return last_t; }
    bool empty() const { return last_t < first_t; }

private:
    struct Holder {
        QString writer;
        double since = 0;
        double until = std::numeric_limits<double>::infinity();
        bool active = false;
    };
    std::map<QString, std::vector<TracePoint>> series;
    std::map<QString, std::vector<WriterSpan>> closed;
    std::map<QString, Holder> holding;
    double first_t = std::numeric_limits<double>::infinity();
    double last_t = -std::numeric_limits<double>::infinity();
};
