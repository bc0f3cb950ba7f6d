#include "support/local_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tarvok::test {

LocalHttpServer::LocalHttpServer(Handler pHandler)
    : handler_(std::move(pHandler))
{
    listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (listen_ >= 0 && ::bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0
        && ::listen(listen_, 8) == 0
        && ::getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { Run(); });
}

LocalHttpServer::~LocalHttpServer()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    stopped_.notify_all();
    if (listen_ >= 0)
        ::shutdown(listen_, SHUT_RDWR);
    thread_.join();
    if (listen_ >= 0)
        ::close(listen_);
}

std::string LocalHttpServer::Address() const { return "127.0.0.1:" + std::to_string(port_); }

std::vector<std::string> LocalHttpServer::Targets() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return targets_;
}

LocalHttpServer::Response LocalHttpServer::Ok(const std::string& pBody)
{
    return { "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: "
            + std::to_string(pBody.size()) + "\r\nConnection: close\r\n\r\n" + pBody,
        false };
}

void LocalHttpServer::Run()
{
    while (true) {
        const int fd = ::accept(listen_, nullptr, nullptr);
        if (fd < 0)
            return;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stop_) {
                ::close(fd);
                return;
            }
        }
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            request.append(buffer, static_cast<size_t>(n));
        }
        std::string target;
        const size_t sp = request.find(' ');
        if (sp != std::string::npos)
            target = request.substr(sp + 1, request.find(' ', sp + 1) - sp - 1);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            targets_.push_back(target);
        }
        const Response response = handler_(target);
        size_t sent = 0;
        while (sent < response.Raw.size()) {
            const ssize_t n
                = ::send(fd, response.Raw.data() + sent, response.Raw.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                break;
            sent += static_cast<size_t>(n);
        }
        if (response.Hang) {
            std::unique_lock<std::mutex> lock(mutex_);
            stopped_.wait(lock, [this] { return stop_; });
        }
        ::close(fd);
    }
}

} // namespace tarvok::test
