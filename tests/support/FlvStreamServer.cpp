#include "support/FlvStreamServer.h"

#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include <httplib.h>

#include "support/TestCert.h"

namespace qingtong::test {

namespace {

void put24(std::string& out, std::uint32_t v)
{
    out += static_cast<char>((v >> 16) & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
    out += static_cast<char>(v & 0xFF);
}

void put32(std::string& out, std::uint32_t v)
{
    out += static_cast<char>((v >> 24) & 0xFF);
    put24(out, v & 0xFFFFFF);
}

void putTag(std::string& out, std::uint8_t type, std::uint32_t timestamp, const std::string& data)
{
    out += static_cast<char>(type);
    put24(out, static_cast<std::uint32_t>(data.size()));
    put24(out, timestamp & 0xFFFFFF);
    out += static_cast<char>((timestamp >> 24) & 0xFF);
    put24(out, 0);  // stream id
    out += data;
    put32(out, static_cast<std::uint32_t>(11 + data.size()));
}

void putAmfString(std::string& out, const std::string& s)
{
    out += static_cast<char>((s.size() >> 8) & 0xFF);
    out += static_cast<char>(s.size() & 0xFF);
    out += s;
}

void putAmfNumber(std::string& out, double value)
{
    out += '\x00';
    std::uint64_t bits = 0;
    static_assert(sizeof bits == sizeof value);
    std::memcpy(&bits, &value, sizeof bits);
    for (int shift = 56; shift >= 0; shift -= 8)
        out += static_cast<char>((bits >> shift) & 0xFF);
}

// Piece 0: the FLV header and the onMetaData tag. Piece i > 0: tag i (audio and video in turn).
std::string makePiece(int index, std::size_t payload)
{
    std::string out;
    if (index == 0) {
        out.append("FLV\x01\x05\x00\x00\x00\x09", 9);
        put32(out, 0);
        std::string meta;
        meta += '\x02';
        putAmfString(meta, "onMetaData");
        meta += '\x08';
        put32(meta, 3);
        putAmfString(meta, "duration");
        putAmfNumber(meta, 0.0);
        putAmfString(meta, "width");
        putAmfNumber(meta, 1280.0);
        putAmfString(meta, "height");
        putAmfNumber(meta, 720.0);
        meta.append("\x00\x00\x09", 3);
        putTag(out, 18, 0, meta);
        return out;
    }
    const bool video = index % 2 == 1;
    std::string data;
    data.reserve(payload);
    if (video) {
        data += static_cast<char>(index % 50 == 1 ? 0x17 : 0x27);
        data += '\x01';
    } else {
        data += '\xAF';
        data += '\x01';
    }
    // A pattern that differs from tag to tag, so a lost or repeated piece shows.
    for (std::size_t i = data.size(); i < payload; ++i)
        data += static_cast<char>((index * 31 + i * 7) & 0xFF);
    putTag(out, video ? 9 : 8, static_cast<std::uint32_t>(index / 2 * 40), data);
    return out;
}

} // namespace

struct FlvStreamServer::Impl {
    bool tls = false;
    std::unique_ptr<httplib::Server> server;
    std::thread thread;
    int port = 0;

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    bool stopping = false;
    int releaseGeneration = 0;
    Script script;
    std::map<std::string, Script> pathScripts;
    std::vector<Connection> connections;

    // Waits `d` or until the server stops; false when it stops.
    bool sleepFor(std::chrono::milliseconds d)
    {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, d, [&] { return stopping; });
        return !stopping;
    }

    void endConnection(std::size_t index)
    {
        std::lock_guard lock(mutex);
        connections[index].ended = true;
        changed.notify_all();
    }

    void handle(const httplib::Request& request, httplib::Response& response)
    {
        Script s;
        std::size_t index = 0;
        {
            std::lock_guard lock(mutex);
            auto it = pathScripts.find(request.path);
            s = it != pathScripts.end() ? it->second : script;
            connections.push_back({request.path, {}, false});
            index = connections.size() - 1;
            changed.notify_all();
        }
        if (!s.redirectTo.empty()) {
            response.set_redirect(s.redirectTo, 302);
            endConnection(index);
            return;
        }
        if (s.status != 0) {
            response.status = s.status;
            if (s.status != 204 && s.status != 304)
                response.set_content("no stream here", "text/plain");
            endConnection(index);
            return;
        }
        if (s.failure == Script::Failure::NotFound) {
            response.status = 404;
            response.set_content("not found", "text/plain");
            endConnection(index);
            return;
        }

        // Dropped by the server when it is done with the response, however it ended.
        struct State {
            Impl* impl = nullptr;
            std::size_t index = 0;
            int next = 0;
            std::size_t sent = 0;
            std::string pending;   // the rest of a piece not yet written
            ~State() { impl->endConnection(index); }
        };
        auto state = std::make_shared<State>();
        state->impl = this;
        state->index = index;
        auto provider = [this, s, index, state](std::size_t, httplib::DataSink& sink) -> bool {
            if (state->pending.empty()) {
                if (s.tags >= 0 && state->next > s.tags) {
                    sink.done();
                    endConnection(index);
                    return true;
                }
                state->pending = makePiece(state->next++, s.payload);
            }
            std::string piece = state->pending;
            const bool failing = s.failure == Script::Failure::Cut || s.failure == Script::Failure::Stall;
            if (failing && state->sent + piece.size() >= s.failAfter && state->sent <= s.failAfter) {
                piece.resize(s.failAfter - state->sent);
            }
            if (!piece.empty()) {
                if (!sink.write(piece.data(), piece.size())) {
                    endConnection(index);
                    return false;
                }
                {
                    std::lock_guard lock(mutex);
                    connections[index].body += piece;
                }
                state->sent += piece.size();
                state->pending.erase(0, piece.size());
            }
            if (failing && state->sent == s.failAfter && !state->pending.empty()) {
                if (s.failure == Script::Failure::Cut) {
                    endConnection(index);
                    return false;
                }
                // Stall: nothing more until released or stopped.
                std::unique_lock lock(mutex);
                const int generation = releaseGeneration;
                changed.wait(lock, [&] { return stopping || releaseGeneration != generation; });
                if (stopping) {
                    connections[index].ended = true;
                    changed.notify_all();
                    return false;
                }
                state->sent = s.failAfter + 1;  // the failure has happened; go on normally
            }
            if (state->pending.empty() && s.interval.count() > 0 && !sleepFor(s.interval)) {
                endConnection(index);
                return false;
            }
            return !stoppingNow();
        };
        if (s.announceLength && s.tags >= 0) {
            const std::size_t length = makeStream(s.tags, s.payload).size();
            response.set_content_provider(length, "video/x-flv",
                                          [provider](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                              return provider(offset, sink);
                                          });
        } else {
            response.set_chunked_content_provider("video/x-flv", provider);
        }
    }

    bool stoppingNow() const
    {
        std::lock_guard lock(mutex);
        return stopping;
    }
};

FlvStreamServer::FlvStreamServer(bool tls) : m_impl(std::make_unique<Impl>())
{
    m_impl->tls = tls;
    if (tls) {
        const TestCert& cert = testCert();
        m_impl->server = std::make_unique<httplib::SSLServer>(cert.certPath.c_str(), cert.keyPath.c_str());
    } else {
        m_impl->server = std::make_unique<httplib::Server>();
    }
    m_impl->server->new_task_queue = [] { return new httplib::ThreadPool(24); };
    m_impl->server->set_keep_alive_max_count(1);
    m_impl->server->Get("/__ready", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("ready", "text/plain");
    });
    m_impl->server->Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
        m_impl->handle(request, response);
    });
    m_impl->port = m_impl->server->bind_to_any_port("127.0.0.1");
    m_impl->thread = std::thread([s = m_impl->server.get()] { s->listen_after_bind(); });
    // The server answers only once its workers run; a probe request makes sure of that, so
    // a test's first connection is never left waiting on a slow machine.
    httplib::Client probe(url(""));
    probe.enable_server_certificate_verification(false);
    probe.set_connection_timeout(std::chrono::seconds(1));
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (auto answer = probe.Get("/__ready"); answer && answer->status == 200)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

FlvStreamServer::~FlvStreamServer()
{
    stop();
}

int FlvStreamServer::port() const
{
    return m_impl->port;
}

std::string FlvStreamServer::url(const std::string& path) const
{
    return std::string(m_impl->tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(m_impl->port) + path;
}

void FlvStreamServer::setScript(const Script& script)
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->script = script;
}

void FlvStreamServer::setScript(const std::string& path, const Script& script)
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->pathScripts[path] = script;
}

std::vector<FlvStreamServer::Connection> FlvStreamServer::connections() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->connections;
}

int FlvStreamServer::connectionCount() const
{
    std::lock_guard lock(m_impl->mutex);
    return static_cast<int>(m_impl->connections.size());
}

bool FlvStreamServer::waitForConnections(int count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_impl->mutex);
    return m_impl->changed.wait_for(lock, timeout,
                                    [&] { return static_cast<int>(m_impl->connections.size()) >= count; });
}

bool FlvStreamServer::waitAllEnded(std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_impl->mutex);
    return m_impl->changed.wait_for(lock, timeout, [&] {
        for (const Connection& c : m_impl->connections) {
            if (!c.ended)
                return false;
        }
        return true;
    });
}

void FlvStreamServer::releaseStalls()
{
    std::lock_guard lock(m_impl->mutex);
    ++m_impl->releaseGeneration;
    m_impl->changed.notify_all();
}

void FlvStreamServer::stop()
{
    {
        std::lock_guard lock(m_impl->mutex);
        if (m_impl->stopping && !m_impl->thread.joinable())
            return;
        m_impl->stopping = true;
        m_impl->changed.notify_all();
    }
    if (m_impl->server)
        m_impl->server->stop();
    if (m_impl->thread.joinable())
        m_impl->thread.join();
}

std::string FlvStreamServer::makeStream(int tags, std::size_t payload)
{
    std::string out;
    for (int i = 0; i <= tags; ++i)
        out += makePiece(i, payload);
    return out;
}

} // namespace qingtong::test
