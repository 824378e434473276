#pragma once

#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace qingtong::test {

// A loopback HTTP proxy for tests: forwards absolute-form requests ("GET http://host:port/x")
// and tunnels CONNECT requests, to loopback targets only. It records the request line and
// header lines of every request it gets, and can demand Basic credentials (407 otherwise).
class TestProxy {
public:
    struct Seen {
        std::string requestLine;
        std::vector<std::string> headerLines;
        std::string header(const std::string& name) const;
    };

    TestProxy();
    ~TestProxy();
    TestProxy(const TestProxy&) = delete;
    TestProxy& operator=(const TestProxy&) = delete;

    int port() const { return m_port; }
    std::string address() const { return "127.0.0.1:" + std::to_string(m_port); }
    // Demands "Proxy-Authorization: Basic <base64>" with exactly this value.
    void requireAuthorization(const std::string& expectedHeaderValue);
    std::vector<Seen> seen() const;

private:
    void acceptLoop();
    void serve(int fd);

    int m_listenFd = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_acceptThread;
    mutable std::mutex m_mutex;
    std::vector<std::thread> m_workers;
    std::set<int> m_openFds;
    std::vector<Seen> m_seen;
    std::string m_required;
};

} // namespace qingtong::test
