#include "support/stuck_closes.h"

#include <atomic>
#include <cstdio>
#include <future>
#include <memory>
#include <thread>

namespace ac_test {

namespace {
std::atomic<bool> left_running{false};
}

void close_within(std::function<void()> close, std::chrono::seconds bound, const char* what)
{
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    std::thread([close = std::move(close), done] {
        close();
        done->set_value();
    }).detach();
    if (finished.wait_for(bound) == std::future_status::ready) {
        return;
    }
    left_running = true;
    std::fprintf(stderr, "%s did not close within %lld s (a peer does not answer); left running\n",
                 what, static_cast<long long>(bound.count()));
}

bool closes_left_running()
{
    return left_running.load();
}

} // namespace ac_test
