#include "support/TestProxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <stdexcept>

#include "support/LoopbackSocket.h"

namespace qingtong::test {

namespace {

// Copies bytes both ways until one side closes or the proxy stops.
void relay(int a, int b, const std::atomic<bool>& stop)
{
    char buf[16384];
    while (!stop.load()) {
        pollfd p[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
        if (::poll(p, 2, 50) < 0)
            return;
        for (int i = 0; i < 2; ++i) {
            if (p[i].revents & (POLLIN | POLLHUP | POLLERR)) {
                const ssize_t n = ::recv(p[i].fd, buf, sizeof buf, 0);
                if (n <= 0 || !sendAll(i == 0 ? b : a, std::string(buf, static_cast<std::size_t>(n))))
                    return;
            }
        }
    }
}

// "host:port" of a loopback target; 0 when it is not one.
int loopbackPort(const std::string& authority)
{
    const auto colon = authority.rfind(':');
    if (colon == std::string::npos)
        return 0;
    const std::string host = authority.substr(0, colon);
    if (host != "127.0.0.1" && host != "localhost")
        return 0;
    return std::atoi(authority.c_str() + colon + 1);
}

} // namespace

std::string TestProxy::Seen::header(const std::string& name) const
{
    return headerValue(headerLines, name);
}

TestProxy::TestProxy()
{
    m_listenFd = listenLoopback("TestProxy", m_port);
    m_acceptThread = std::thread([this] { acceptLoop(); });
}

TestProxy::~TestProxy()
{
    m_stop.store(true);
    m_acceptThread.join();
    std::vector<std::thread> workers;
    {
        std::lock_guard lock(m_mutex);
        for (int fd : m_openFds)
            ::shutdown(fd, SHUT_RDWR);
        workers.swap(m_workers);
    }
    for (auto& t : workers)
        t.join();
    ::close(m_listenFd);
}

void TestProxy::requireAuthorization(const std::string& expectedHeaderValue)
{
    std::lock_guard lock(m_mutex);
    m_required = expectedHeaderValue;
}

std::vector<TestProxy::Seen> TestProxy::seen() const
{
    std::lock_guard lock(m_mutex);
    return m_seen;
}

void TestProxy::acceptLoop()
{
    while (!m_stop.load()) {
        pollfd p{m_listenFd, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0)
            continue;
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        std::lock_guard lock(m_mutex);
        m_openFds.insert(fd);
        m_workers.emplace_back([this, fd] {
            blockSigpipe();
            serve(fd);
        });
    }
}

void TestProxy::serve(int fd)
{
    // Read the request head byte by byte, so nothing after it is consumed here.
    std::string head;
    char c;
    while (head.size() < 65536 && head.find("\r\n\r\n") == std::string::npos && ::recv(fd, &c, 1, 0) == 1)
        head += c;
    Seen seen;
    std::size_t pos = head.find("\r\n");
    if (pos != std::string::npos) {
        seen.requestLine = head.substr(0, pos);
        for (std::size_t at = pos + 2;;) {
            const std::size_t end = head.find("\r\n", at);
            if (end == std::string::npos || end == at)
                break;
            seen.headerLines.push_back(head.substr(at, end - at));
            at = end + 2;
        }
    }
    std::string required;
    {
        std::lock_guard lock(m_mutex);
        m_seen.push_back(seen);
        required = m_required;
    }
    const auto sp1 = seen.requestLine.find(' ');
    const auto sp2 = seen.requestLine.rfind(' ');
    if (!required.empty() && seen.header("Proxy-Authorization") != required) {
        sendAll(fd, "HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic realm=\"t\"\r\n"
                    "Content-Length: 0\r\nConnection: close\r\n\r\n");
    } else if (sp1 != std::string::npos && sp2 > sp1) {
        const std::string method = seen.requestLine.substr(0, sp1);
        const std::string target = seen.requestLine.substr(sp1 + 1, sp2 - sp1 - 1);
        if (method == "CONNECT") {
            const int port = loopbackPort(target);
            const int up = port > 0 ? connectLoopback(port) : -1;
            if (up < 0) {
                sendAll(fd, "HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            } else {
                sendAll(fd, "HTTP/1.1 200 Connection established\r\n\r\n");
                relay(fd, up, m_stop);
                ::close(up);
            }
        } else if (target.rfind("http://", 0) == 0) {
            const std::size_t slash = target.find('/', 7);
            const std::string authority = target.substr(7, slash == std::string::npos ? std::string::npos : slash - 7);
            const std::string path = slash == std::string::npos ? "/" : target.substr(slash);
            const int port = loopbackPort(authority);
            const int up = port > 0 ? connectLoopback(port) : -1;
            if (up < 0) {
                sendAll(fd, "HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            } else {
                std::string out = method + " " + path + seen.requestLine.substr(sp2) + "\r\n";
                for (const auto& line : seen.headerLines) {
                    const std::string name = line.substr(0, line.find(':'));
                    if (!iequal(name, "Proxy-Authorization") && !iequal(name, "Proxy-Connection") && !iequal(name, "Connection"))
                        out += line + "\r\n";
                }
                out += "Connection: close\r\n\r\n";
                if (sendAll(up, out))
                    relay(fd, up, m_stop);
                ::close(up);
            }
        }
    }
    {
        std::lock_guard lock(m_mutex);
        m_openFds.erase(fd);
    }
    ::close(fd);
}

} // namespace qingtong::test
