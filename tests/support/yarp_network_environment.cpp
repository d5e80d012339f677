// Linked into every suite built on an installed YARP: YARP wants a yarp::os::Network alive
// before any port opens (the bundled layer initialises itself), so this test environment
// holds one for the whole run. Suites that make their own Network just add a reference.
#include <yarp/os/Network.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "support/stuck_closes.h"

namespace {

class YarpNetworkEnvironment : public ::testing::Environment {
public:
    void SetUp() override { network_ = std::make_unique<yarp::os::Network>(); }
    void TearDown() override
    {
        if (ac_test::closes_left_running()) {
            // A thread is still inside the middleware: its teardown would meet it.
            std::fprintf(stderr, "the run ends without the middleware's teardown: a close was "
                                 "left running\n");
            std::fflush(nullptr);
            std::_Exit(::testing::UnitTest::GetInstance()->Passed() ? 0 : 1);
        }
        network_.reset();
    }

private:
    std::unique_ptr<yarp::os::Network> network_;
};

[[maybe_unused]] ::testing::Environment* const registered =
    ::testing::AddGlobalTestEnvironment(new YarpNetworkEnvironment);

}  // namespace
