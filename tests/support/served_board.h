#pragma once
// A control board served in this process, for suites that drive it through
// remote_controlboard clients (the motor agents' own device).
#include <string>
#include <utility>

#include "sim/serve/board_device.h"
#include "support/fake_board.h"

namespace ac_test {

/// A `Board` (a FakeBoard by default) served under `name` while this object lives.
template <class Board = FakeBoard>
struct ServedBoard {
    template <class... Args>
    explicit ServedBoard(const std::string& name, Args&&... args)
        : board(std::forward<Args>(args)...)
    {
        served = server.open(name, board);
    }
    ~ServedBoard() { server.close(); }

    Board board;
    sim::BoardServer server;
    bool served = false;
};

} // namespace ac_test
