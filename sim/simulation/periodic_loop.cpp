#include "sim/simulation/periodic_loop.h"

namespace sim {

void PeriodicLoop::start(Clock::duration period, std::function<void()> tick)
{
    if (thread_.joinable()) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = false;
    }
    tick_ = std::move(tick);
    thread_ = std::thread([this, period] { run(period); });
}

void PeriodicLoop::stop()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void PeriodicLoop::run(Clock::duration period)
{
    auto next = Clock::now() + period;
    std::unique_lock<std::mutex> lock(mutex_);
    while (!wake_.wait_until(lock, next, [this] { return stopping_; })) {
        lock.unlock();
        tick_();
        lock.lock();
        next += period;
        const auto now = Clock::now();
        if (next < now) {
            // Fell behind (a slow tick or a suspended process): resume on the grid.
            next = now + period;
        }
    }
}

} // namespace sim
