#include "cd/http_client.h"

#include "platform/curl/curl_http_client.h"
#include "support/local_http_server.h"
#include "support/tick_gate.h"

#include <gtest/gtest.h>

namespace tarvok {
namespace {

using test::LocalHttpServer;
using test::OpenAtExit;
using test::TickGate;

TEST(CurlHttpClientTick, TicksWhileTheServerHoldsTheAnswer)
{
    LocalHttpServer server([](const std::string&) { return LocalHttpServer::Ok("late body"); });
    TickGate gate;
    // The server answers only once the client has ticked three times while waiting.
    LocalHttpServer slow([&gate](const std::string&) {
        gate.WaitForMore(3);
        return LocalHttpServer::Ok("late body");
    });
    const OpenAtExit release { gate };
    CurlHttpClient http;
    HttpLimits limits;
    limits.Tick = [&gate] { return gate.Tick(); };
    Result<std::string> body = http.Get("http://" + slow.Address() + "/x", limits);
    ASSERT_TRUE(body) << body.error().Message;
    EXPECT_EQ(*body, "late body");
    EXPECT_GE(gate.Ticks(), 3);

    // Without a tick the same request just waits for the answer.
    Result<std::string> plain = http.Get("http://" + server.Address() + "/x", HttpLimits {});
    ASSERT_TRUE(plain) << plain.error().Message;
    EXPECT_EQ(*plain, "late body");
}

TEST(CurlHttpClientTick, FalseFromTheTickCancelsWithAnErrorAndNoBody)
{
    struct Case {
        const char* Name;
        LocalHttpServer::Response Answer; ///< sent once the client has ticked twice
        int CancelAt; ///< the tick that answers false
    };
    const Case cases[] = {
        { "before any answer", { "", true }, 1 },
        { "after the headers and part of the body",
            { "HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\npartial", true }, 4 },
    };
    CurlHttpClient http;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TickGate gate;
        LocalHttpServer server([&](const std::string&) {
            gate.WaitForMore(2);
            return c.Answer;
        });
        const OpenAtExit release { gate };
        HttpLimits limits;
        limits.TimeoutMs = 60000; // only the tick can end this request
        const int cancelAt = c.CancelAt;
        limits.Tick = [&gate, cancelAt] { return gate.Tick(cancelAt); };
        Result<std::string> body = http.Get("http://" + server.Address() + "/x", limits);
        ASSERT_FALSE(body);
        EXPECT_NE(body.error().Message.find("cancelled"), std::string::npos)
            << body.error().Message;
        EXPECT_EQ(gate.Ticks(), c.CancelAt);
    }
}

TEST(CurlHttpClientTick, SizeAndTimeBoundsHoldWithATick)
{
    struct Case {
        const char* Name;
        LocalHttpServer::Response Answer;
        const char* Message; ///< part of the error
    };
    const Case cases[] = {
        { "body over the bound",
            { "HTTP/1.0 200 OK\r\nConnection: close\r\n\r\n" + std::string(5000, 'x'), false },
            "too long" },
        { "silent server", { "HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\nsome", true },
            "Timeout" },
    };
    CurlHttpClient http;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        LocalHttpServer server([&](const std::string&) { return c.Answer; });
        HttpLimits limits;
        limits.MaxBytes = 1000;
        limits.TimeoutMs = 300;
        TickGate gate;
        limits.Tick = [&gate] { return gate.Tick(); };
        Result<std::string> body = http.Get("http://" + server.Address() + "/x", limits);
        ASSERT_FALSE(body);
        EXPECT_NE(body.error().Message.find(c.Message), std::string::npos) << body.error().Message;
        EXPECT_EQ(body.error().Message.find("cancelled"), std::string::npos);
    }
}

} // namespace
} // namespace tarvok
