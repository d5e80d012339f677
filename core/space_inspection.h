#pragma once
// What the Space tells about itself, for the inspector: who writes (SpaceWriter), how a value
// reads as text (SpaceValueFormat), what an entry looks like right now (SpaceEntry) and the
// trace of every write (SpaceEvent, kept in a SpaceEventBuffer while someone follows it).
//
// Standard library only: value types the core does not know (YARP vectors, camera images)
// are recognised by their shape (size() and operator[], width() and height()), so the core
// never includes a YARP header.
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <vector>

struct ConfBlock;
struct VelocityBlock;
struct SensorBlock;
struct PositionBlock;
struct AgentBlock;

// ---------------------------------------------------------------------------------------------
// Writers

/// Names the writer of every Space write made by the calling thread while it lives ("LookAtAgent
/// lookConfig", "HeadControlGui head_joints"); the previous name comes back when it goes.
/// Names are interned for the whole run, so a write only copies a pointer.
class SpaceWriter {
public:
    explicit SpaceWriter(const std::string& name);
    ~SpaceWriter();

    SpaceWriter(const SpaceWriter&) = delete;
    SpaceWriter& operator=(const SpaceWriter&) = delete;

    /// The calling thread's writer name ("unnamed thread" when none was given).
    static const std::string* current();

    /// The one stored copy of `name`, created on first use and kept until the process ends.
    static const std::string* intern(const std::string& name);

    /// The class name of `type` without namespaces or template arguments ("LookAtAgent").
    static std::string class_name(const std::type_info& type);

private:
    const std::string* previous;
};

/// Accepted and refused writes of one writer to one key.
struct SpaceWriterTally {
    const std::string* writer = nullptr;
    std::uint64_t accepted = 0;
    std::uint64_t refused = 0;
};

// ---------------------------------------------------------------------------------------------
// JSON text

namespace space_json {

/// Appends `text` as a JSON string (quoted, escaped).
void append_string(std::string& out, const std::string& text);
/// Appends a JSON number; NaN and infinities, which JSON cannot carry, become null.
void append_number(std::string& out, double value);
/// Seconds of the real-time clock, with microseconds.
double seconds(const timespec& t);

}  // namespace space_json

// ---------------------------------------------------------------------------------------------
// Values as text

namespace space_format_detail {

template <class T, class = void>
struct is_vector_like : std::false_type {};
template <class T>
struct is_vector_like<T, std::void_t<decltype(std::declval<const T&>().size()),
                                     decltype(std::declval<const T&>()[0])>>
    : std::is_arithmetic<std::decay_t<decltype(std::declval<const T&>()[0])>> {};

template <class T, class = void>
struct is_image_like : std::false_type {};
template <class T>
struct is_image_like<T, std::void_t<decltype(std::declval<const T&>().width()),
                                    decltype(std::declval<const T&>().height())>>
    : std::true_type {};

template <class T, class = void>
struct has_rgb_pixels : std::false_type {};
template <class T>
struct has_rgb_pixels<T, std::void_t<decltype(std::declval<T&>().pixel(0, 0).r),
                                     decltype(std::declval<T&>().pixel(0, 0).g),
                                     decltype(std::declval<T&>().pixel(0, 0).b)>>
    : std::true_type {};

template <class T, class = void>
struct is_pointer_like : std::is_pointer<T> {};
template <class T>
struct is_pointer_like<T, std::void_t<typename T::element_type>> : std::true_type {};

template <class T>
const char* number_words() {
    if (std::is_same<T, bool>::value) return "flags";
    if (std::is_floating_point<T>::value) return std::is_same<T, float>::value ? "floats" : "doubles";
    return "integers";
}

std::string readable_type(const std::type_info& type);

}  // namespace space_format_detail

/// How a value of type T reads in the inspector: `type` in words ("vector of 6 doubles",
/// "RGB image 320x240"), `json` the value itself (vectors in full, images by size,
/// configuration records by their fields).
template <class T, class = void>
struct SpaceValueFormat {
    static std::string type(const T& value) {
        using namespace space_format_detail;
        if constexpr (std::is_same<T, bool>::value) {
            return "flag";
        } else if constexpr (std::is_arithmetic<T>::value) {
            return std::is_floating_point<T>::value ? "number" : "integer";
        } else if constexpr (std::is_same<T, std::string>::value) {
            return "text";
        } else if constexpr (is_vector_like<T>::value) {
            using Element = std::decay_t<decltype(value[0])>;
            return "vector of " + std::to_string(value.size()) + " " + number_words<Element>();
        } else if constexpr (is_image_like<T>::value) {
            return std::string(has_rgb_pixels<T>::value ? "RGB image " : "image ") +
                   std::to_string(value.width()) + "x" + std::to_string(value.height());
        } else if constexpr (is_pointer_like<T>::value) {
            using Pointee = std::decay_t<decltype(*value)>;
            if (!value) return "no " + SpaceValueFormat<Pointee>::kind();
            return SpaceValueFormat<Pointee>::type(*value);
        } else {
            return readable_type(typeid(T));
        }
    }

    /// The type without what depends on the value (for an empty pointer).
    static std::string kind() {
        using namespace space_format_detail;
        if constexpr (is_image_like<T>::value) {
            return has_rgb_pixels<T>::value ? "RGB image" : "image";
        } else {
            return readable_type(typeid(T));
        }
    }

    static void json(std::string& out, const T& value) {
        using namespace space_format_detail;
        if constexpr (std::is_same<T, bool>::value) {
            out += value ? "true" : "false";
        } else if constexpr (std::is_arithmetic<T>::value) {
            space_json::append_number(out, static_cast<double>(value));
        } else if constexpr (std::is_same<T, std::string>::value) {
            space_json::append_string(out, value);
        } else if constexpr (is_vector_like<T>::value) {
            out += '[';
            for (std::size_t i = 0; i < static_cast<std::size_t>(value.size()); ++i) {
                if (i > 0) out += ',';
                space_json::append_number(out, static_cast<double>(value[i]));
            }
            out += ']';
        } else if constexpr (is_image_like<T>::value) {
            space_json::append_string(
                out, std::to_string(value.width()) + "x" + std::to_string(value.height()));
        } else if constexpr (is_pointer_like<T>::value) {
            if (!value) {
                out += "null";
            } else {
                SpaceValueFormat<std::decay_t<decltype(*value)>>::json(out, *value);
            }
        } else {
            out += "null";  // a value the inspector cannot show; its type still names it
        }
    }
};

/// The configuration records read by their fields.
void space_record_json(std::string& out, const ConfBlock& value);
void space_record_json(std::string& out, const VelocityBlock& value);
void space_record_json(std::string& out, const SensorBlock& value);
void space_record_json(std::string& out, const PositionBlock& value);
void space_record_json(std::string& out, const AgentBlock& value);

template <class T>
struct SpaceValueFormat<
    T, std::enable_if_t<std::is_same<T, ConfBlock>::value || std::is_same<T, VelocityBlock>::value ||
                        std::is_same<T, SensorBlock>::value ||
                        std::is_same<T, PositionBlock>::value || std::is_same<T, AgentBlock>::value>> {
    static std::string type(const T&) { return kind(); }
    static std::string kind() { return space_format_detail::readable_type(typeid(T)); }
    static void json(std::string& out, const T& value) { space_record_json(out, value); }
};

// ---------------------------------------------------------------------------------------------
// Entries and events

/// One entry of the Space as the inspector shows it.
struct SpaceEntry {
    std::string key;
    std::string type;        ///< "vector of 6 doubles", "RGB image 320x240", "ConfBlock", ...
    std::string value_json;  ///< the value in force (also when lapsed: the last one stored)
    float priority = 0.0f;   ///< of the value in force
    bool never_lapses = false;
    bool lapsed = false;     ///< not valid any more: reads get their fallback
    long long valid_ms = 0;  ///< validity left (0 when lapsed; meaningless when never_lapses)
    std::string writer;      ///< who set the value in force
    timespec written{0, 0};  ///< when (real-time clock)
    std::vector<std::pair<std::string, SpaceWriterTally>> writers;  ///< per writer name
    std::size_t watchers = 0;

    /// The entry as one JSON object: key, type, value, priority, valid_ms (null when it never
    /// lapses), lapsed, writer, written (seconds), writes and refused (objects by writer),
    /// watchers.
    std::string json() const;
};

/// One write, accepted or refused by the priority rule.
struct SpaceEvent {
    timespec time{0, 0};  ///< real-time clock
    std::string key;
    const std::string* writer = nullptr;
    float priority = 0.0f;
    int validity_ms = 0;
    bool accepted = false;
    std::string value_json;  ///< the value the write carried

    /// One JSON line without the line end: t, key, writer, priority, validity_ms, accepted, value.
    std::string json() const;
};

/// A bounded store of events between the writers (under the Space lock) and one reader.
///
/// A writer never waits for room: when the buffer is full the event is dropped and counted.
/// The reader takes everything at once by swapping two preallocated slabs, so a writer waits
/// at most for that swap, never for the reader's work on the events.
class SpaceEventBuffer {
public:
    explicit SpaceEventBuffer(std::size_t capacity);

    /// Stores one event; `fill` writes its fields into the slot (whose strings keep their
    /// capacity from earlier events). False when the buffer was full and the event dropped.
    template <class F>
    bool push(F&& fill) {
        std::lock_guard<std::mutex> lock(mutex);
        if (used == filling.size()) {
            ++dropped_total;
            return false;
        }
        fill(filling[used++]);
        return true;
    }

    /// Hands every stored event, oldest first, to `take`, outside the writers' way. One
    /// reader at a time.
    template <class F>
    std::size_t drain(F&& take) {
        std::lock_guard<std::mutex> reading(reader);
        std::size_t n = 0;
        {
            std::lock_guard<std::mutex> lock(mutex);
            std::swap(filling, spare);
            n = used;
            used = 0;
        }
        for (std::size_t i = 0; i < n; ++i) take(static_cast<const SpaceEvent&>(spare[i]));
        return n;
    }

    /// Forgets the stored events (not the count of dropped ones).
    void clear();

    /// Events dropped because the buffer was full, since it was made.
    std::uint64_t dropped() const;

    std::size_t capacity() const { return filling.size(); }

private:
    mutable std::mutex mutex;  // guards filling, used, dropped_total
    std::mutex reader;         // one drain at a time; guards spare
    std::vector<SpaceEvent> filling;
    std::vector<SpaceEvent> spare;
    std::size_t used = 0;
    std::uint64_t dropped_total = 0;
};
