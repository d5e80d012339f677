#include "core/space_inspection.h"

#include <cxxabi.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>

#include "core/agentspace.h"

// ---------------------------------------------------------------------------------------------
// Writers

namespace {

thread_local const std::string* thread_writer = nullptr;

std::string demangled(const std::type_info& type) {
    int status = 0;
    char* readable = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
    std::string name = (status == 0 && readable != nullptr) ? readable : type.name();
    std::free(readable);
    return name;
}

}  // namespace

SpaceWriter::SpaceWriter(const std::string& name) : previous(thread_writer) {
    thread_writer = intern(name);
}

SpaceWriter::~SpaceWriter() { thread_writer = previous; }

const std::string* SpaceWriter::current() {
    static const std::string* const unnamed = intern("unnamed thread");
    return thread_writer != nullptr ? thread_writer : unnamed;
}

const std::string* SpaceWriter::intern(const std::string& name) {
    // A handful of names per run (one per agent and window); kept until the process ends, so
    // the pointers in blocks and events never dangle, even after an agent is deleted.
    static std::mutex* mutex = new std::mutex();
    static std::set<std::string>* names = new std::set<std::string>();
    std::lock_guard<std::mutex> lock(*mutex);
    return &*names->insert(name).first;
}

std::string SpaceWriter::class_name(const std::type_info& type) {
    std::string name = demangled(type);
    const std::size_t angle = name.find('<');
    if (angle != std::string::npos) name.erase(angle);
    const std::size_t colons = name.rfind("::");
    if (colons != std::string::npos) name.erase(0, colons + 2);
    return name;
}

// ---------------------------------------------------------------------------------------------
// JSON text

namespace space_json {

void append_string(std::string& out, const std::string& text) {
    out += '"';
    for (const char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                    out += escaped;
                } else {
                    out += c;
                }
        }
    }
    out += '"';
}

void append_number(std::string& out, double value) {
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", value);
    out += text;
}

double seconds(const timespec& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec / 1000) * 1e-6;
}

}  // namespace space_json

namespace space_format_detail {

std::string readable_type(const std::type_info& type) { return demangled(type); }

}  // namespace space_format_detail

// ---------------------------------------------------------------------------------------------
// Configuration records

namespace {

/// Writes {"field":value,...} one field at a time.
class RecordJson {
public:
    explicit RecordJson(std::string& out) : out(out) { out += '{'; }
    ~RecordJson() { out += '}'; }
    RecordJson& text(const char* name, const std::string& value) {
        field(name);
        space_json::append_string(out, value);
        return *this;
    }
    RecordJson& number(const char* name, int value) {
        field(name);
        out += std::to_string(value);
        return *this;
    }

private:
    void field(const char* name) {
        if (!first) out += ',';
        first = false;
        space_json::append_string(out, name);
        out += ':';
    }
    std::string& out;
    bool first = true;
};

}  // namespace

void space_record_json(std::string& out, const ConfBlock& v) {
    RecordJson(out).text("name", v.name).text("joints_key", v.joints_key)
        .text("speed_key", v.speed_key).text("acc_key", v.acc_key).text("device", v.device)
        .text("local_port", v.local_port).text("remote_port", v.remote_port);
}

void space_record_json(std::string& out, const VelocityBlock& v) {
    RecordJson(out).text("name", v.name).text("velocity_key", v.velocity_key)
        .text("encoder_key", v.encoder_key).text("device", v.device)
        .text("local_port", v.local_port).text("remote_port", v.remote_port);
}

void space_record_json(std::string& out, const SensorBlock& v) {
    RecordJson(out).text("name", v.name).text("local_port", v.local_port)
        .text("remote_port", v.remote_port).text("data_key", v.data_key)
        .text("command", v.command).number("delay_ms", v.delay_ms)
        .number("period_ms", v.period_ms);
}

void space_record_json(std::string& out, const PositionBlock& v) {
    RecordJson(out).text("name", v.name).text("encoder_key", v.encoder_key)
        .text("device", v.device).text("local_port", v.local_port)
        .text("remote_port", v.remote_port).number("delay_ms", v.delay_ms)
        .number("period_ms", v.period_ms);
}

void space_record_json(std::string& out, const AgentBlock& v) {
    RecordJson(out).text("name", v.name).text("input_key", v.input_key)
        .text("output_key", v.output_key).text("aux_key", v.aux_key)
        .number("delay_ms", v.delay_ms).number("period_ms", v.period_ms);
}

// ---------------------------------------------------------------------------------------------
// Entries and events

std::string SpaceEntry::json() const {
    std::string out = "{\"key\":";
    space_json::append_string(out, key);
    out += ",\"type\":";
    space_json::append_string(out, type);
    out += ",\"value\":";
    out += value_json.empty() ? "null" : value_json;
    out += ",\"priority\":";
    space_json::append_number(out, priority);
    out += ",\"valid_ms\":";
    out += never_lapses ? "null" : std::to_string(valid_ms);
    out += lapsed ? ",\"lapsed\":true" : ",\"lapsed\":false";
    out += ",\"writer\":";
    space_json::append_string(out, writer);
    char when[32];
    std::snprintf(when, sizeof when, ",\"written\":%.6f", space_json::seconds(written));
    out += when;
    for (const char* field : {"writes", "refused"}) {
        out += ",\"";
        out += field;
        out += "\":{";
        bool first = true;
        for (const auto& w : writers) {
            if (!first) out += ',';
            first = false;
            space_json::append_string(out, w.first);
            out += ':';
            out += std::to_string(field[0] == 'w' ? w.second.accepted : w.second.refused);
        }
        out += '}';
    }
    out += ",\"watchers\":" + std::to_string(watchers) + "}";
    return out;
}

std::string SpaceEvent::json() const {
    std::string out = "{\"t\":";
    char t[32];
    std::snprintf(t, sizeof t, "%.6f", space_json::seconds(time));
    out += t;
    out += ",\"key\":";
    space_json::append_string(out, key);
    out += ",\"writer\":";
    space_json::append_string(out, writer != nullptr ? *writer : std::string());
    out += ",\"priority\":";
    space_json::append_number(out, priority);
    out += ",\"validity_ms\":" + std::to_string(validity_ms);
    out += accepted ? ",\"accepted\":true" : ",\"accepted\":false";
    out += ",\"value\":";
    out += value_json.empty() ? "null" : value_json;
    out += '}';
    return out;
}

SpaceEventBuffer::SpaceEventBuffer(std::size_t capacity)
    : filling(capacity == 0 ? 1 : capacity), spare(filling.size()) {}

void SpaceEventBuffer::clear() {
    std::lock_guard<std::mutex> lock(mutex);
    used = 0;
}

std::uint64_t SpaceEventBuffer::dropped() const {
    std::lock_guard<std::mutex> lock(mutex);
    return dropped_total;
}
