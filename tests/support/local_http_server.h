#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tarvok::test {

/// A tiny HTTP server on 127.0.0.1 for tests, one connection at a time on its own thread.
/// The handler gets the request target ("/~cddb/cddb.cgi?cmd=...") and returns what to
/// send, raw (status line and headers included, so a test can send garbage too). A
/// response marked Hang is sent and then the connection is held open, silent, until the
/// server is destroyed: the client's time bound must end the request.
class LocalHttpServer {
public:
    struct Response {
        std::string Raw;
        bool Hang = false;
    };
    using Handler = std::function<Response(const std::string& pTarget)>;

    explicit LocalHttpServer(Handler pHandler);
    ~LocalHttpServer();
    LocalHttpServer(const LocalHttpServer&) = delete;
    LocalHttpServer& operator=(const LocalHttpServer&) = delete;

    /// "127.0.0.1:PORT".
    std::string Address() const;
    /// Every request target received so far.
    std::vector<std::string> Targets() const;

    /// A complete 200 answer with this body.
    static Response Ok(const std::string& pBody);

private:
    void Run();

    Handler handler_;
    int listen_ = -1;
    int port_ = 0;
    bool stop_ = false;
    mutable std::mutex mutex_;
    std::condition_variable stopped_;
    std::vector<std::string> targets_;
    std::thread thread_;
};

} // namespace tarvok::test
