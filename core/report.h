#pragma once
// How the controller's pieces print: whole lines at once, and a condition said once until it
// changes. Agents run on threads of their own and all print to stdout; a user (and a suite)
// reads the lines as they come, so a line must never be split by another thread's, and a
// state that lasts (a board missing, a vector refused) must not flood the output.
#include <optional>
#include <string>
#include <utility>

/// Prints `line` (with its own newline) in one write and flushes it, so that lines of
/// concurrent agents never mix and reach a pipe in the order they were made.
void print_line(const std::string& line);

/// printf-style formatting into a string as long as the values need (%f of a huge magnitude
/// has no upper bound).
std::string format_text(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

/// The line every agent prints when it is created: "New agent with confBlock <key> created \n".
void print_agent_created(const std::string& key);

/// Says a condition once, and again only after it has changed: `say` prints its line unless
/// the condition was already said for the same `State`; `clear` marks it over, so that the
/// next `say` prints again. With the default State the condition is simply on or off.
template <class State = bool>
class ReportOnce {
public:
    /// Prints `line` unless this condition, for this `state`, was the last one said. True
    /// when it printed.
    bool say(const std::string& line, State state = State{})
    {
        if (said && *said == state) {
            return false;
        }
        print_line(line);
        said = std::move(state);
        return true;
    }

    /// The condition is over. True when it had been said (a caller may then say that it
    /// ended).
    bool clear()
    {
        const bool was = said.has_value();
        said.reset();
        return was;
    }

    /// Marks the condition as said without printing (another line already told it).
    void mark(State state = State{}) { said = std::move(state); }

    bool pending() const { return said.has_value(); }

private:
    std::optional<State> said;
};
