#pragma once
// A control board served in this process, for suites that drive it through
// remote_controlboard clients (the motor agents' own device).
#include <chrono>
#include <memory>
#include <string>
#include <utility>

#include "sim/serve/board_device.h"
#include "support/fake_board.h"
#include "support/stuck_closes.h"

namespace ac_test {

/// A `Board` (a FakeBoard by default) served under `name` while this object lives. The
/// close at the end is bounded at 10 s (see stuck_closes.h): the board and its server then
/// stay alive with the close that was left running.
template <class Board = FakeBoard>
struct ServedBoard {
private:
    struct Served {
        template <class... Args>
        explicit Served(Args&&... args) : board(std::forward<Args>(args)...) {}
        Board board;
        sim::BoardServer server;
    };
    std::shared_ptr<Served> served_board;

public:
    template <class... Args>
    explicit ServedBoard(const std::string& name, Args&&... args)
        : served_board(std::make_shared<Served>(std::forward<Args>(args)...)),
          board(served_board->board), served(served_board->server.open(name, board))
    {
    }
    ~ServedBoard()
    {
        close_within([kept = served_board] { kept->server.close(); }, std::chrono::seconds(10),
                     "A served board");
    }
    ServedBoard(const ServedBoard&) = delete;
    ServedBoard& operator=(const ServedBoard&) = delete;

    Board& board;
    bool served = false;
};

} // namespace ac_test
