// The null value handed out by failed lookups is shared by every thread of the process.
// Agents on different threads look up missing keys and may (carelessly) assign to the
// result at the same time; none of that may race or change what other threads see.
#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <yarp/os/Bottle.h>
#include <yarp/os/Property.h>

using yarp::os::Bottle;
using yarp::os::Property;
using yarp::os::Value;

TEST(NullValueConcurrency, ThreadsWritingToFailedLookupsDoNotRaceOrCorruptIt)
{
    std::atomic<int> corrupted{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &corrupted] {
            const Bottle command("world get lhand");
            const Property config;
            for (int i = 0; i < 20000; ++i) {
                command.get(3) = Value(t * 100000 + i);
                config.find("missing") = Value(std::string("written"));
                Value taken = std::move(command.get(50));
                if (!command.get(3).isNull() || !config.find("missing").isNull() || !taken.isNull()) {
                    ++corrupted;
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(corrupted.load(), 0);
}
