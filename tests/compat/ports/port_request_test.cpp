// Request/reply through Port: answers reach the right caller, and a caller never waits
// forever (timeout, unanswered request, server gone, interrupt).
#include "port_test_support.h"

#include <yarp/os/Bottle.h>
#include <yarp/os/Network.h>
#include <yarp/os/Port.h>

#include <gtest/gtest.h>

#include <condition_variable>
#include <future>
#include <mutex>
#include <string>
#include <thread>

using namespace yarp::os;
using ports_test::Child;
using ports_test::helperPath;
using ac_test::poll_until;

TEST(PortRequest, RoundTripsWithAServerProcess)
{
    Child server({helperPath(), "echo-server", "/request/echo"});
    ASSERT_TRUE(poll_until([] { return NetworkBase::exists("/request/echo"); }));
    Port client;
    ASSERT_TRUE(client.open("/request/echo-client"));
    Bottle reply;
    EXPECT_FALSE(client.write(Bottle("unconnected"), reply)) << "no connection, no answer";
    ASSERT_TRUE(NetworkBase::connect("/request/echo-client", "/request/echo"));
    for (int i = 0; i < 100; ++i) {
        Bottle request;
        request.addString("world");
        request.addInt32(i);
        request.addFloat64(i * 0.5);
        ASSERT_TRUE(client.write(request, reply));
        ASSERT_EQ(reply.size(), 4u);
        EXPECT_EQ(reply.get(0).asString(), "echo");
        EXPECT_EQ(reply.get(2).asInt32(), i);
        EXPECT_EQ(reply.get(3).asFloat64(), i * 0.5);
    }
}

TEST(PortRequest, TimeoutEndsTheWaitWhenTheServerNeverAnswers)
{
    Child server({helperPath(), "silent-server", "/request/silent"});
    ASSERT_TRUE(poll_until([] { return NetworkBase::exists("/request/silent"); }));
    Port client;
    ASSERT_TRUE(client.open("/request/silent-client"));
    ASSERT_TRUE(NetworkBase::connect("/request/silent-client", "/request/silent"));
    client.setTimeout(0.3f);
    Bottle reply;
    EXPECT_FALSE(client.write(Bottle("anyone"), reply));
    EXPECT_FALSE(client.write(Bottle("still nobody"), reply));
}

TEST(PortRequest, ServerDeathEndsAWaitWithoutTimeout)
{
    Child server({helperPath(), "silent-server", "/request/dying"});
    ASSERT_TRUE(poll_until([] { return NetworkBase::exists("/request/dying"); }));
    Port client;
    ASSERT_TRUE(client.open("/request/dying-client"));
    ASSERT_TRUE(NetworkBase::connect("/request/dying-client", "/request/dying"));
    auto call = std::async(std::launch::async, [&] {
        Bottle reply;
        return client.write(Bottle("hello"), reply);
    });
    ASSERT_EQ(call.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    server.kill();
    EXPECT_FALSE(call.get());
    EXPECT_TRUE(poll_until([&] { return client.getOutputCount() == 0; }));
}

TEST(PortRequest, UnansweredRequestFailsPromptlyAndInterruptEndsAWait)
{
    Port server;
    Port client;
    ASSERT_TRUE(server.open("/request/deaf"));
    ASSERT_TRUE(client.open("/request/deaf-client"));
    ASSERT_TRUE(NetworkBase::connect("/request/deaf-client", "/request/deaf"));

    // Read without willReply, and read with it but move on without reply(): both tell the
    // caller at once instead of leaving it waiting.
    std::thread reader([&] {
        Bottle b;
        server.read(b, false);
        server.read(b, true);
        server.read(b, true); // settles the previous one, then waits for the next request
    });
    Bottle reply;
    EXPECT_FALSE(client.write(Bottle("first"), reply));
    EXPECT_FALSE(client.write(Bottle("second"), reply));

    // The third request is taken but never answered: interrupt() frees the caller.
    auto waiting = std::async(std::launch::async, [&] {
        Bottle r;
        return client.write(Bottle("third"), r);
    });
    ASSERT_EQ(waiting.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    client.interrupt();
    EXPECT_FALSE(waiting.get());
    server.close();
    reader.join();
}

TEST(PortRequest, ALateAnswerIsNotTakenForTheNextOne)
{
    Port server;
    Port client;
    ASSERT_TRUE(server.open("/request/late"));
    ASSERT_TRUE(client.open("/request/late-client"));
    ASSERT_TRUE(NetworkBase::connect("/request/late-client", "/request/late"));
    client.setTimeout(0.2f);

    std::mutex m;
    std::condition_variable cv;
    bool firstCallReturned = false;
    std::thread serverThread([&] {
        Bottle request;
        ASSERT_TRUE(server.read(request, true));
        {
            std::unique_lock<std::mutex> lock(m);
            cv.wait(lock, [&] { return firstCallReturned; });
        }
        Bottle late("answer to first");
        server.reply(late);
        ASSERT_TRUE(server.read(request, true));
        Bottle answer("answer to " + request.get(0).asString());
        server.reply(answer);
    });

    Bottle reply;
    EXPECT_FALSE(client.write(Bottle("first"), reply)) << "timed out";
    {
        std::lock_guard<std::mutex> lock(m);
        firstCallReturned = true;
    }
    cv.notify_all();
    client.setTimeout(0);
    ASSERT_TRUE(client.write(Bottle("second"), reply));
    EXPECT_EQ(reply.toString(), "answer to second");
    serverThread.join();
}
