#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace qingtong::test {

// A loopback HTTP or HTTPS server (127.0.0.1) that serves an FLV live stream: the FLV
// header, an onMetaData script tag, then audio and video tags with rising timestamps, at a
// pace the test sets. Every connection's body bytes are recorded, so a test can compare a
// recording with exactly what was sent. Any path is served with the current script unless
// a path has a script of its own.
class FlvStreamServer {
public:
    struct Script {
        enum class Failure {
            None,
            Cut,        // the connection is closed in the middle of the stream after failAfter bytes
            Stall,      // nothing more after failAfter bytes, the connection stays open
            NotFound,   // HTTP 404
        };
        int tags = -1;                         // audio/video tags after the header; -1: endless
        std::chrono::milliseconds interval{5}; // pause between tags
        std::size_t payload = 512;             // bytes of each tag's payload
        Failure failure = Failure::None;
        std::size_t failAfter = 0;             // body bytes before the failure
        bool announceLength = false;           // Content-Length instead of chunks (finite only)
        std::string redirectTo;                // non-empty: answer 302 with this Location
        int status = 0;                        // non-zero: answer this status with a short body
    };

    struct Connection {
        std::string path;
        std::string body;   // every body byte the server handed to the socket
        bool ended = false; // the server has finished with it
    };

    explicit FlvStreamServer(bool tls = false);
    ~FlvStreamServer();
    FlvStreamServer(const FlvStreamServer&) = delete;
    FlvStreamServer& operator=(const FlvStreamServer&) = delete;

    int port() const;
    // "http[s]://127.0.0.1:PORT" + path
    std::string url(const std::string& path = "/live/stream.flv") const;

    void setScript(const Script& script);
    void setScript(const std::string& path, const Script& script);

    std::vector<Connection> connections() const;
    int connectionCount() const;
    // Waits until `count` connections have been accepted (false after timeout).
    bool waitForConnections(int count, std::chrono::milliseconds timeout) const;
    // Waits until every accepted connection has ended (false after timeout).
    bool waitAllEnded(std::chrono::milliseconds timeout) const;
    // Stalled streams go on (as scripted) from here; no effect on others.
    void releaseStalls();

    void stop();

    // The stream the server sends for `tags` tags of `payload` bytes (tags >= 0).
    static std::string makeStream(int tags, std::size_t payload);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace qingtong::test
