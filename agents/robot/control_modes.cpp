#include "agents/robot/control_modes.h"

#include <algorithm>
#include <utility>

// --- ControlModeBook -----------------------------------------------------------------------

void ControlModeBook::switch_made(const std::string& board, int joint, int mode)
{
    std::lock_guard<std::mutex> lock(mutex);
    recent[board][joint] = ModeSwitch{mode, std::chrono::steady_clock::now()};
}

void ControlModeBook::overlay_recent(const std::string& board, std::vector<int>& modes)
{
    std::lock_guard<std::mutex> lock(mutex);
    auto found = recent.find(board);
    if (found == recent.end()) {
        return;
    }
    auto& joints = found->second;
    const auto now = std::chrono::steady_clock::now();
    for (auto it = joints.begin(); it != joints.end();) {
        const auto j = static_cast<std::size_t>(it->first);
        const bool shown = j >= modes.size() || modes[j] == it->second.mode;
        if (shown || now - it->second.at > kTrust) {
            it = joints.erase(it);
        } else {
            modes[j] = it->second.mode;
            ++it;
        }
    }
}

void ControlModeBook::bound(const std::string& board, ControlModeAccess* view, int axes)
{
    std::lock_guard<std::mutex> lock(mutex);
    BoardRecord& record = records[board];
    if (record.holders++ > 0) {
        return;   // another agent holds it: its joints may already be switched
    }
    record.switched = false;
    record.modes.assign(static_cast<std::size_t>(axes), 0);
    if (view == nullptr || !view->read_modes(record.modes)) {
        record.modes.clear();
    }
}

void ControlModeBook::note_found(const std::string& board, const std::vector<int>& modes)
{
    std::lock_guard<std::mutex> lock(mutex);
    auto found = records.find(board);
    if (found != records.end() && found->second.holders > 0 && found->second.modes.empty()
        && !found->second.switched) {
        found->second.modes = modes;
    }
}

void ControlModeBook::switched_unread(const std::string& board)
{
    std::lock_guard<std::mutex> lock(mutex);
    auto found = records.find(board);
    if (found != records.end() && found->second.holders > 0 && found->second.modes.empty()) {
        found->second.switched = true;
    }
}

void ControlModeBook::unbound(const std::string& board)
{
    std::lock_guard<std::mutex> lock(mutex);
    auto found = records.find(board);
    if (found != records.end() && found->second.holders > 0) {
        --found->second.holders;
    }
}

std::vector<int> ControlModeBook::found(const std::string& board)
{
    std::lock_guard<std::mutex> lock(mutex);
    auto found = records.find(board);
    return found == records.end() ? std::vector<int>() : found->second.modes;
}

// --- ControlModeGuard ----------------------------------------------------------------------

ControlModeGuard::ControlModeGuard(ControlModeBook& mode_book, ControlModeAccess* mode_view,
                                   int axis_count, int wanted_mode, std::string board_name)
    : book(&mode_book), modes(mode_view), axes(axis_count), wanted(wanted_mode),
      current(static_cast<std::size_t>(axis_count), 0), board(std::move(board_name))
{
}

void ControlModeGuard::ensure()
{
    if (modes == nullptr || axes <= 0) {
        return;
    }
    if (modes->read_modes(current)) {
        book->note_found(board, current);
        book->overlay_recent(board, current);
        for (int j = 0; j < axes; ++j) {
            if (current[static_cast<std::size_t>(j)] != wanted) {
                switch_joint(j, wanted);
            }
        }
        return;
    }
    // The board could not tell (a client knows nothing before its first state message):
    // only this program's recent switches are known.
    std::fill(current.begin(), current.end(), 0);
    book->overlay_recent(board, current);
    if (std::all_of(current.begin(), current.end(), [&](int m) { return m == wanted; })) {
        return;
    }
    book->switched_unread(board);
    switch_all(std::vector<int>(static_cast<std::size_t>(axes), wanted));
}

void ControlModeGuard::restore(std::vector<int> found)
{
    if (modes == nullptr || axes <= 0) {
        return;
    }
    if (found.size() != static_cast<std::size_t>(axes)) {
        // Never read: joints start in position mode on the robot and its simulators.
        found.assign(static_cast<std::size_t>(axes), VOCAB_CM_POSITION);
    }
    if (!modes->read_modes(current)) {
        switch_all(found);
        return;
    }
    book->overlay_recent(board, current);
    for (int j = 0; j < axes; ++j) {
        const auto i = static_cast<std::size_t>(j);
        if (current[i] != found[i]) {
            switch_joint(j, found[i]);
        }
    }
}

void ControlModeGuard::switch_joint(int j, int mode)
{
    modes->set_mode(j, mode);
    book->switch_made(board, j, mode);
}

void ControlModeGuard::switch_all(std::vector<int> all)
{
    modes->set_modes(all);
    for (int j = 0; j < axes; ++j) {
        book->switch_made(board, j, all[static_cast<std::size_t>(j)]);
    }
}
