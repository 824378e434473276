#include "support/TestHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <stdexcept>

#include <openssl/err.h>
#include <openssl/ssl.h>

#include "support/LoopbackSocket.h"
#include "support/TestCert.h"

namespace qingtong::test {

namespace {

// A plain or TLS stream over one accepted socket.
class Stream {
public:
    Stream(int fd, SSL* ssl) : m_fd(fd), m_ssl(ssl) {}
    ~Stream()
    {
        if (m_ssl != nullptr)
            SSL_free(m_ssl);
    }
    // Reads some bytes; 0 at the end or on an error.
    std::size_t readSome(char* out, std::size_t n)
    {
        if (m_ssl != nullptr) {
            const int r = SSL_read(m_ssl, out, static_cast<int>(n));
            return r > 0 ? static_cast<std::size_t>(r) : 0;
        }
        const ssize_t r = ::recv(m_fd, out, n, 0);
        return r > 0 ? static_cast<std::size_t>(r) : 0;
    }
    bool writeAll(const std::string& data)
    {
        std::size_t done = 0;
        while (done < data.size()) {
            if (m_ssl != nullptr) {
                const int w = SSL_write(m_ssl, data.data() + done, static_cast<int>(data.size() - done));
                if (w <= 0)
                    return false;
                done += static_cast<std::size_t>(w);
            } else {
                const ssize_t w = ::send(m_fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
                if (w <= 0)
                    return false;
                done += static_cast<std::size_t>(w);
            }
        }
        return true;
    }
    // A line ended by CR LF (without it); false at the end of the stream.
    bool readLine(std::string& line)
    {
        line.clear();
        for (;;) {
            const auto pos = m_buffer.find("\r\n");
            if (pos != std::string::npos) {
                line = m_buffer.substr(0, pos);
                m_buffer.erase(0, pos + 2);
                return true;
            }
            if (m_buffer.size() > 1024 * 1024)
                return false;
            char chunk[16384];
            const std::size_t n = readSome(chunk, sizeof chunk);
            if (n == 0)
                return false;
            m_buffer.append(chunk, n);
        }
    }
    bool readExactly(std::size_t n, std::string& out)
    {
        while (m_buffer.size() < n) {
            char chunk[16384];
            const std::size_t got = readSome(chunk, sizeof chunk);
            if (got == 0)
                return false;
            m_buffer.append(chunk, got);
        }
        out = m_buffer.substr(0, n);
        m_buffer.erase(0, n);
        return true;
    }

private:
    int m_fd;
    SSL* m_ssl;
    std::string m_buffer;
};

void sleepUnlessStopped(int ms, const std::atomic<bool>& stop)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!stop.load() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

} // namespace

std::string RecordedRequest::header(const std::string& name) const
{
    return headerValue(headerLines, name);
}

bool RecordedRequest::hasHeader(const std::string& name) const
{
    for (const auto& n : headerNames())
        if (iequal(n, name))
            return true;
    return false;
}

std::vector<std::string> RecordedRequest::headerNames() const
{
    std::vector<std::string> names;
    for (const auto& line : headerLines)
        names.push_back(line.substr(0, line.find(':')));
    return names;
}

TestHttpServer::TestHttpServer(bool tls) : m_tls(tls)
{
    if (tls) {
        SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
        const TestCert& cert = testCert();
        if (ctx == nullptr || SSL_CTX_use_certificate_file(ctx, cert.certPath.c_str(), SSL_FILETYPE_PEM) != 1 ||
            SSL_CTX_use_PrivateKey_file(ctx, cert.keyPath.c_str(), SSL_FILETYPE_PEM) != 1)
            throw std::runtime_error("TestHttpServer: TLS setup failed");
        m_sslCtx = ctx;
    }
    m_listenFd = listenLoopback("TestHttpServer", m_port);
    m_acceptThread = std::thread([this] { acceptLoop(); });
}

TestHttpServer::~TestHttpServer()
{
    m_stop.store(true);
    if (m_acceptThread.joinable())
        m_acceptThread.join();
    {
        std::lock_guard lock(m_mutex);
        for (int fd : m_openFds)
            ::shutdown(fd, SHUT_RDWR);
    }
    std::vector<std::thread> workers;
    {
        std::lock_guard lock(m_mutex);
        workers.swap(m_workers);
    }
    for (auto& t : workers)
        t.join();
    ::close(m_listenFd);
    if (m_sslCtx != nullptr)
        SSL_CTX_free(static_cast<SSL_CTX*>(m_sslCtx));
}

std::string TestHttpServer::base() const
{
    return std::string(m_tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(m_port);
}

void TestHttpServer::route(const std::string& target, ScriptedResponse response)
{
    std::lock_guard lock(m_mutex);
    m_routes[target] = std::move(response);
}

void TestHttpServer::setHandler(Handler handler)
{
    std::lock_guard lock(m_mutex);
    m_handler = std::move(handler);
}

std::vector<RecordedRequest> TestHttpServer::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

RecordedRequest TestHttpServer::lastRequest() const
{
    std::lock_guard lock(m_mutex);
    return m_requests.empty() ? RecordedRequest{} : m_requests.back();
}

int TestHttpServer::refusedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

void TestHttpServer::acceptLoop()
{
    while (!m_stop.load()) {
        pollfd p{m_listenFd, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0)
            continue;
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);   // no Nagle pause between head and body
        const int number = ++m_connections;
        std::lock_guard lock(m_mutex);
        m_openFds.insert(fd);
        m_workers.emplace_back([this, fd, number] {
            blockSigpipe();
            serve(fd, number);
        });
    }
}

ScriptedResponse TestHttpServer::answerFor(const RecordedRequest& request)
{
    Handler handler;
    {
        std::lock_guard lock(m_mutex);
        handler = m_handler;
    }
    if (handler)
        return handler(request);
    std::lock_guard lock(m_mutex);
    auto it = m_routes.find(request.target);
    if (it == m_routes.end())
        it = m_routes.find(request.target.substr(0, request.target.find('?')));
    if (it != m_routes.end())
        return it->second;
    ScriptedResponse notFound;
    notFound.status = 404;
    notFound.reason = "Not Found";
    notFound.body = "not found";
    return notFound;
}

void TestHttpServer::serve(int fd, int number)
{
    SSL* ssl = nullptr;
    bool ok = true;
    if (m_tls) {
        ssl = SSL_new(static_cast<SSL_CTX*>(m_sslCtx));
        SSL_set_fd(ssl, fd);
        if (SSL_accept(ssl) != 1) {
            ++m_handshakeFailures;
            ok = false;
        }
    }
    Stream stream(fd, ssl);
    bool resetConnection = false;
    while (ok && !m_stop.load()) {
        RecordedRequest req;
        req.connection = number;
        std::string line;
        if (!stream.readLine(line))
            break;
        const auto sp1 = line.find(' ');
        const auto sp2 = line.rfind(' ');
        if (sp1 == std::string::npos || sp2 == sp1)
            break;
        req.method = line.substr(0, sp1);
        req.target = line.substr(sp1 + 1, sp2 - sp1 - 1);
        bool headersOk = true;
        while ((headersOk = stream.readLine(line)) && !line.empty())
            req.headerLines.push_back(line);
        if (!headersOk)
            break;
        if (iequal(req.header("Transfer-Encoding"), "chunked")) {
            for (;;) {
                if (!stream.readLine(line))
                    return;
                const std::size_t size = std::stoul(line, nullptr, 16);
                std::string piece;
                if (!stream.readExactly(size + 2, piece))
                    return;
                if (size == 0)
                    break;
                req.body += piece.substr(0, size);
            }
        } else if (req.hasHeader("Content-Length")) {
            if (!stream.readExactly(std::stoul(req.header("Content-Length")), req.body))
                break;
        }
        {
            std::lock_guard lock(m_mutex);
            m_requests.push_back(req);
        }
        const ScriptedResponse r = answerFor(req);
        if (r.reset) {
            resetConnection = true;
            break;
        }
        sleepUnlessStopped(r.delayBeforeHeadersMs, m_stop);
        std::string head = "HTTP/1.1 " + std::to_string(r.status) + " " + r.reason + "\r\n";
        for (const auto& h : r.headers)
            head += h + "\r\n";
        const bool head_ = req.method == "HEAD";
        bool closeAfter = r.close;
        if (r.framing == ScriptedResponse::Framing::Sized && !r.noContentLength)
            head += "Content-Length: " + std::to_string(r.body.size()) + "\r\n";
        else if (r.framing == ScriptedResponse::Framing::Chunked)
            head += "Transfer-Encoding: chunked\r\n";
        else
            closeAfter = true;
        if (closeAfter)
            head += "Connection: close\r\n";
        head += "\r\n";
        if (!stream.writeAll(head))
            break;
        sleepUnlessStopped(r.delayBeforeBodyMs, m_stop);
        if (!head_) {
            if (r.framing == ScriptedResponse::Framing::Chunked) {
                std::string out;
                for (std::size_t at = 0; at < r.body.size(); at += 1000) {
                    const std::string piece = r.body.substr(at, 1000);
                    char size[32];
                    std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
                    out += size + piece + "\r\n";
                }
                out += "0\r\n\r\n";
                if (!stream.writeAll(out))
                    break;
            } else if (!stream.writeAll(r.body)) {
                break;
            }
        }
        if (closeAfter)
            break;
    }
    if (resetConnection) {
        linger l{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    } else if (ssl != nullptr && ok) {
        SSL_shutdown(ssl);
    }
    {
        std::lock_guard lock(m_mutex);
        m_openFds.erase(fd);
    }
    ::close(fd);
}

} // namespace qingtong::test
