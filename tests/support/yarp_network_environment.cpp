// Linked into every suite built on an installed YARP: YARP wants a yarp::os::Network alive
// before any port opens (the bundled layer initialises itself), so this test environment
// holds one for the whole run. Suites that make their own Network just add a reference.
#include <yarp/os/Network.h>

#include <gtest/gtest.h>

#include <memory>

namespace {

class YarpNetworkEnvironment : public ::testing::Environment {
public:
    void SetUp() override { network_ = std::make_unique<yarp::os::Network>(); }
    void TearDown() override { network_.reset(); }

private:
    std::unique_ptr<yarp::os::Network> network_;
};

[[maybe_unused]] ::testing::Environment* const registered =
    ::testing::AddGlobalTestEnvironment(new YarpNetworkEnvironment);

}  // namespace
