#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace qingtong::test {

// One request as the server received it.
struct RecordedRequest {
    std::string method;
    std::string target;
    std::vector<std::string> headerLines;   // "Name: value", in the order received
    std::string body;
    int connection = 0;                     // 1-based number of the connection it came on

    // Value of the first header of that name (letter case ignored); "" when absent.
    std::string header(const std::string& name) const;
    bool hasHeader(const std::string& name) const;
    // Names of the headers in their order.
    std::vector<std::string> headerNames() const;
};

// How the server answers one request.
struct ScriptedResponse {
    enum class Framing { Sized, Chunked, CloseDelimited };

    int status = 200;
    std::string reason = "OK";
    std::vector<std::string> headers;   // "Name: value" lines, sent as given
    std::string body;
    Framing framing = Framing::Sized;
    int delayBeforeHeadersMs = 0;
    int delayBeforeBodyMs = 0;
    bool reset = false;        // drop the connection (RST) instead of answering
    bool close = false;        // close the connection after the answer
    bool noContentLength = false;   // Sized framing without a Content-Length line (then close)
};

// A loopback HTTP or HTTPS (self-signed certificate of TestCert) server for tests. It records
// every request, counts the connections it accepts and answers from routes (exact target
// first, then the path without query) or a handler.
class TestHttpServer {
public:
    using Handler = std::function<ScriptedResponse(const RecordedRequest&)>;

    explicit TestHttpServer(bool tls = false);
    ~TestHttpServer();
    TestHttpServer(const TestHttpServer&) = delete;
    TestHttpServer& operator=(const TestHttpServer&) = delete;

    int port() const { return m_port; }
    // "http://127.0.0.1:port" or "https://127.0.0.1:port".
    std::string base() const;
    std::string url(const std::string& path) const { return base() + path; }

    void route(const std::string& target, ScriptedResponse response);
    void setHandler(Handler handler);

    std::vector<RecordedRequest> requests() const;
    RecordedRequest lastRequest() const;
    int connectionsAccepted() const { return m_connections.load(); }
    // Connections whose TLS handshake failed (the client refused the certificate, ...).
    int handshakesFailed() const { return m_handshakeFailures.load(); }

    // A loopback port where nobody listens: connecting there is refused.
    static int refusedPort();

private:
    void acceptLoop();
    void serve(int fd, int number);
    ScriptedResponse answerFor(const RecordedRequest& request);

    bool m_tls;
    int m_listenFd = -1;
    int m_port = 0;
    void* m_sslCtx = nullptr;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_connections{0};
    std::atomic<int> m_handshakeFailures{0};
    std::thread m_acceptThread;
    mutable std::mutex m_mutex;
    std::vector<std::thread> m_workers;
    std::set<int> m_openFds;
    std::vector<RecordedRequest> m_requests;
    std::map<std::string, ScriptedResponse> m_routes;
    Handler m_handler;
};

} // namespace qingtong::test
