#include "support/FakeService.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <httplib.h>

#include "support/TestCert.h"

namespace qingtong::test {
namespace {

constexpr const char* kLiveStatusPath = "/webcast/distribution/check_user_live_status/";
constexpr const char* kRoomInfoPath = "/webcast/room/reflow/info/";
constexpr const char* kUserInfoPath = "/web/api/v2/user/info/";
constexpr const char* kShareCodePath = "/aweme/v2/platform/share/command/trans/";

std::string lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// JSON string literal of UTF-8 text; non-ASCII bytes pass through as the service sends them.
std::string quote(const std::string& s)
{
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

// A numeric id as the service sends it: an unquoted number; 0 when the id is not numeric.
std::string number(const std::string& s)
{
    if (s.empty() || !std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return "0";
    return s;
}

// Value of `key` in a form or query text (no decoding: ids are sent as they are).
std::string formValue(const std::string& text, const std::string& key)
{
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find('&', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string item = text.substr(pos, end - pos);
        if (item.compare(0, key.size() + 1, key + "=") == 0)
            return item.substr(key.size() + 1);
        pos = end + 1;
    }
    return {};
}

FakeService::Endpoint classify(const std::string& path)
{
    using E = FakeService::Endpoint;
    if (path == kLiveStatusPath)
        return E::LiveStatus;
    if (path == kRoomInfoPath)
        return E::RoomInfo;
    if (path == kUserInfoPath)
        return E::UserInfo;
    if (path == kShareCodePath)
        return E::ShareCode;
    return E::ShortLink;
}

struct FailureSlot {
    FakeService::Failure failure = FakeService::Failure::None;
    int remaining = 0;   // -1: until cleared
    std::string rawBody;
};

} // namespace

std::string FakeService::Request::header(const std::string& name) const
{
    const std::string wanted = lower(name);
    for (const auto& [key, value] : headers)
        if (lower(key) == wanted)
            return value;
    return {};
}

bool FakeService::Request::hasHeader(const std::string& name) const
{
    const std::string wanted = lower(name);
    return std::any_of(headers.begin(), headers.end(),
                       [&](const auto& kv) { return lower(kv.first) == wanted; });
}

struct FakeService::Impl {
    std::unique_ptr<httplib::SSLServer> server;
    std::thread thread;
    int port = 0;

    mutable std::mutex mutex;
    std::condition_variable stopped;
    bool stopping = false;
    std::vector<User> users;
    std::map<std::string, std::string> shareCodes;   // code -> schema
    std::map<std::string, std::string> shortLinks;   // code -> Location
    std::map<std::string, std::string> streamUrls;   // room id -> address
    std::map<Endpoint, FailureSlot> failures;
    std::chrono::milliseconds slowDelay{3000};
    std::vector<Request> log;
    std::function<void(const Request&)> observer;

    std::string host() const { return "127.0.0.1:" + std::to_string(port); }

    const User* userBy(const std::string& key) const  // uid or sec_uid; lock held
    {
        if (key.empty())
            return nullptr;
        for (const User& u : users)
            if (u.uid == key || u.secUid == key)
                return &u;
        return nullptr;
    }
    const User* ownerOf(const std::string& roomId) const  // lock held
    {
        if (roomId.empty())
            return nullptr;
        for (const User& u : users)
            if (u.roomId == roomId)
                return &u;
        return nullptr;
    }
    std::string streamUrl(const std::string& roomId) const  // lock held
    {
        auto it = streamUrls.find(roomId);
        if (it != streamUrls.end())
            return it->second;
        return "https://" + host() + "/stream/" + roomId + ".flv";
    }

    // Takes the failure for one request of `endpoint` (lock held).
    FailureSlot takeFailure(Endpoint endpoint)
    {
        for (Endpoint e : {endpoint, Endpoint::Any}) {
            auto it = failures.find(e);
            if (it == failures.end() || it->second.failure == Failure::None)
                continue;
            FailureSlot slot = it->second;
            if (it->second.remaining > 0 && --it->second.remaining == 0)
                failures.erase(it);
            return slot;
        }
        return {};
    }

    // Normal answers ------------------------------------------------------------
    std::string liveStatusAnswer(const std::string& body, int statusCode) const
    {
        const std::string uid = formValue(body, "user_ids");
        const User* u = userBy(uid);
        std::string data = "[]";
        if (u) {
            const std::string room = u->live ? number(u->roomId) : "0";
            data = "[{\"user_id\":" + number(u->uid) + ",\"user_live\":[{\"live_status\":"
                   + (u->live ? "1" : "0") + ",\"room_id\":" + room + ",\"room_id_str\":"
                   + quote(u->live ? u->roomId : "0") + ",\"user_id\":" + number(u->uid) + "}]}]";
        }
        return "{\"data\":" + data + ",\"extra\":{\"now\":1700000000000},\"status_code\":"
               + std::to_string(statusCode) + "}";
    }

    std::string roomInfoAnswer(const std::string& roomId, int statusCode) const
    {
        const User* u = ownerOf(roomId);
        if (!u)
            return "{\"data\":{\"prompts\":\"room not found\"},\"status_code\":"
                   + std::to_string(statusCode ? statusCode : 30003) + "}";
        std::string room = "{\"id\":" + number(roomId) + ",\"id_str\":" + quote(roomId)
                           + ",\"status\":" + (u->live ? "2" : "4") + ",\"title\":" + quote(u->nickname);
        if (u->live) {
            const std::string url = streamUrl(roomId);
            room += ",\"stream_url\":{\"rtmp_pull_url\":" + quote(url) + ",\"flv_pull_url\":{\"FULL_HD1\":"
                    + quote(url) + "}}";
        }
        room += ",\"owner\":{\"id\":" + number(u->uid) + ",\"id_str\":" + quote(u->uid) + ",\"nickname\":"
                + quote(u->nickname) + ",\"display_id\":" + quote(u->uniqueId) + ",\"short_id\":"
                + number(u->shortId) + ",\"sec_uid\":" + quote(u->secUid) + "}}";
        return "{\"data\":{\"room\":" + room + "},\"extra\":{\"now\":1700000000000},\"status_code\":"
               + std::to_string(statusCode) + "}";
    }

    std::string userInfoAnswer(const std::string& secUid, int statusCode) const
    {
        const User* u = secUid.empty() ? nullptr : userBy(secUid);
        if (!u || u->secUid != secUid)
            return "{\"status_code\":" + std::to_string(statusCode ? statusCode : 2053)
                   + ",\"status_msg\":\"user not found\"}";
        return "{\"extra\":{\"now\":1700000000000},\"status_code\":" + std::to_string(statusCode)
               + ",\"user_info\":{\"uid\":" + quote(u->uid) + ",\"short_id\":" + quote(u->shortId)
               + ",\"nickname\":" + quote(u->nickname) + ",\"unique_id\":" + quote(u->uniqueId)
               + ",\"sec_uid\":" + quote(u->secUid) + ",\"room_id\":" + (u->live ? number(u->roomId) : "0")
               + ",\"signature\":\"\"}}";
    }

    std::string shareCodeAnswer(const std::string& code, int statusCode) const
    {
        auto it = shareCodes.find(code);
        if (it == shareCodes.end())
            return "{\"status_code\":" + std::to_string(statusCode ? statusCode : 4)
                   + ",\"status_msg\":\"invalid command\"}";
        return "{\"schema\":" + quote(it->second) + ",\"status_code\":" + std::to_string(statusCode) + "}";
    }

    // Cuts the connection with a TCP reset: the socket under the TLS session is made to
    // linger 0 and swapped for an unconnected one, which closes the real one at once. The
    // server then writes its answer into the unconnected socket, which fails harmlessly.
    static void resetConnection(const httplib::Request& req)
    {
        if (!req.ssl)
            return;
        const int fd = SSL_get_fd(req.ssl);
        if (fd < 0)
            return;
        linger lg{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
        const int dummy = ::socket(AF_INET, SOCK_STREAM, 0);
        if (dummy < 0) {
            ::shutdown(fd, SHUT_RDWR);
            return;
        }
        ::dup2(dummy, fd);
        ::close(dummy);
    }

    void handle(const httplib::Request& req, httplib::Response& res)
    {
        Request rec;
        rec.method = req.method;
        rec.path = req.path;
        const size_t q = req.target.find('?');
        rec.query = q == std::string::npos ? std::string() : req.target.substr(q + 1);
        rec.body = req.body;
        for (const auto& [k, v] : req.headers)
            rec.headers.emplace(k, v);
        rec.endpoint = classify(req.path);

        std::function<void(const Request&)> observe;
        {
            std::lock_guard lock(mutex);
            observe = observer;
        }
        if (observe)
            observe(rec);

        FailureSlot failure;
        std::string body;
        std::string location;
        int status = 200;
        {
            std::lock_guard lock(mutex);
            log.push_back(rec);
            if (rec.path.rfind("/stream/", 0) == 0) {
                res.status = 404;
                res.set_content("no stream here", "text/plain");
                return;
            }
            failure = takeFailure(rec.endpoint);
            const int code = failure.failure == Failure::StatusCode ? 8 : 0;
            switch (rec.endpoint) {
            case Endpoint::LiveStatus:
                body = liveStatusAnswer(rec.body, code);
                break;
            case Endpoint::RoomInfo:
                body = roomInfoAnswer(formValue(rec.query, "room_id"), code);
                break;
            case Endpoint::UserInfo:
                body = userInfoAnswer(formValue(rec.query, "sec_uid"), code);
                break;
            case Endpoint::ShareCode:
                body = shareCodeAnswer(req.has_param("command") ? req.get_param_value("command") : "", code);
                break;
            case Endpoint::ShortLink:
            case Endpoint::Any: {
                std::string key = rec.path;
                key.erase(0, key.find_first_not_of('/'));
                while (!key.empty() && key.back() == '/')
                    key.pop_back();
                auto it = shortLinks.find(key);
                if (it == shortLinks.end()) {
                    status = 404;
                    body = "<html><body>404 Not Found</body></html>";
                } else {
                    status = 302;
                    location = it->second;
                    body = "<a href=\"" + location + "\">Found</a>.";
                }
                break;
            }
            }
        }

        switch (failure.failure) {
        case Failure::None:
        case Failure::StatusCode:
            break;
        case Failure::NotJson:
            body = "this is not JSON {\"status_code\":0";
            break;
        case Failure::HtmlError:
            res.status = 502;
            res.set_content("<html><head><title>502 Bad Gateway</title></head><body><h1>502 Bad Gateway</h1>"
                            "</body></html>",
                            "text/html");
            return;
        case Failure::Empty:
            body.clear();
            break;
        case Failure::Raw:
            body = failure.rawBody;
            break;
        case Failure::Slow: {
            std::unique_lock lock(mutex);
            stopped.wait_for(lock, slowDelay, [this] { return stopping; });
            break;
        }
        case Failure::Reset:
            resetConnection(req);
            res.status = 500;
            return;
        case Failure::Truncated: {
            const std::string part = body.substr(0, body.size() / 2);
            const size_t announced = body.size() + 100;
            res.set_content_provider(announced, "application/json",
                                     [part](size_t offset, size_t, httplib::DataSink& sink) {
                                         if (offset == 0 && !part.empty())
                                             sink.write(part.data(), part.size());
                                         return offset == 0 && !part.empty() ? true : false;
                                     });
            return;
        }
        }

        res.status = status;
        if (!location.empty())
            res.set_header("Location", location);
        if (status == 200)
            res.set_content(body, "application/json; charset=utf-8");
        else
            res.set_content(body, "text/html; charset=utf-8");
    }
};

FakeService::FakeService(int port)
    : m_impl(std::make_unique<Impl>())
{
    std::signal(SIGPIPE, SIG_IGN);
    const TestCert& cert = testCert();
    m_impl->server = std::make_unique<httplib::SSLServer>(cert.certPath.c_str(), cert.keyPath.c_str());
    if (!m_impl->server->is_valid())
        return;
    // One request per connection ("Connection: close"), so stop() never waits for a
    // client's idle pooled connection to time out. The wait for a connection's first
    // request stays generous: slow (sanitizer) clients must not lose it.
    m_impl->server->set_keep_alive_max_count(1);
    m_impl->server->set_keep_alive_timeout(5);
    m_impl->server->set_read_timeout(5);
    auto handler = [impl = m_impl.get()](const httplib::Request& req, httplib::Response& res) {
        impl->handle(req, res);
    };
    m_impl->server->Get(".*", handler);
    m_impl->server->Post(".*", handler);
    m_impl->server->Put(".*", handler);
    m_impl->server->Delete(".*", handler);
    m_impl->server->Options(".*", handler);
    if (port > 0)
        m_impl->port = m_impl->server->bind_to_port("127.0.0.1", port) ? port : 0;
    else
        m_impl->port = m_impl->server->bind_to_any_port("127.0.0.1");
    if (m_impl->port <= 0) {
        m_impl->port = 0;
        return;
    }
    m_impl->thread = std::thread([s = m_impl->server.get()] { s->listen_after_bind(); });
    // The socket listens already; wait until the accept loop runs so stop() can end it.
    for (int i = 0; i < 500 && !m_impl->server->is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

FakeService::~FakeService()
{
    stop();
}

void FakeService::stop()
{
    {
        std::lock_guard lock(m_impl->mutex);
        m_impl->stopping = true;
    }
    m_impl->stopped.notify_all();
    if (m_impl->server)
        m_impl->server->stop();
    if (m_impl->thread.joinable())
        m_impl->thread.join();
}

bool FakeService::running() const
{
    return m_impl->port > 0;
}

int FakeService::port() const
{
    return m_impl->port;
}

std::string FakeService::host() const
{
    return m_impl->host();
}

std::string FakeService::webDomainHost() const
{
    return "localhost:" + std::to_string(m_impl->port);
}

ServiceConfig FakeService::config() const
{
    ServiceConfig c;
    c.webcastHost = host();
    c.shortLinkHost = host();
    c.webDomain = webDomainHost();
    c.webApiHost = host();
    c.appApiHost = host();
    c.promoDocument.clear();
    c.pictureHost.clear();
    c.browserPage.clear();
    c.strictTls = false;
    return c;
}

std::string FakeService::serviceIniSection() const
{
    const ServiceConfig c = config();
    std::string s = "[service]\n";
    s += "webcastHost=" + c.webcastHost + "\n";
    s += "shortLinkHost=" + c.shortLinkHost + "\n";
    s += "webDomain=" + c.webDomain + "\n";
    s += "webApiHost=" + c.webApiHost + "\n";
    s += "appApiHost=" + c.appApiHost + "\n";
    s += "promoDocument=\n";
    s += "pictureHost=\n";
    s += "browserPage=\n";
    return s;
}

bool FakeService::writeServiceConfig(const std::string& runDirectory) const
{
    const std::string path = runDirectory + "/Config.ini";
    std::string old;
    {
        std::ifstream in(path, std::ios::binary);
        if (in) {
            std::ostringstream ss;
            ss << in.rdbuf();
            old = ss.str();
        }
    }
    const bool crlf = old.empty() || old.find("\r\n") != std::string::npos;
    // Keep every line outside an existing [service] section.
    std::string kept;
    bool inService = false;
    std::istringstream lines(old);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::string t = line;
        t.erase(0, t.find_first_not_of(" \t"));
        if (!t.empty() && t.front() == '[')
            inService = lower(t).rfind("[service]", 0) == 0;
        if (!inService)
            kept += line + (crlf ? "\r\n" : "\n");
    }
    std::string section = serviceIniSection();
    if (crlf) {
        std::string withCr;
        for (char c : section)
            withCr += c == '\n' ? std::string("\r\n") : std::string(1, c);
        section = withCr;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << kept << section;
    return static_cast<bool>(out);
}

std::string FakeService::refusedHost()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    int port = 1;  // never listened on by anybody unprivileged
    if (fd >= 0) {
        socklen_t len = sizeof addr;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0
            && ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
            port = ntohs(addr.sin_port);
        ::close(fd);  // bound, never listened: the port refuses connections
    }
    return "127.0.0.1:" + std::to_string(port);
}

void FakeService::addUser(const User& user)
{
    std::lock_guard lock(m_impl->mutex);
    for (User& u : m_impl->users) {
        if (u.secUid == user.secUid) {
            u = user;
            return;
        }
    }
    m_impl->users.push_back(user);
}

bool FakeService::setLive(const std::string& uidOrSecUid, bool live, const std::string& roomId)
{
    std::lock_guard lock(m_impl->mutex);
    for (User& u : m_impl->users) {
        if (u.uid == uidOrSecUid || u.secUid == uidOrSecUid) {
            u.live = live;
            if (!roomId.empty())
                u.roomId = roomId;
            return true;
        }
    }
    return false;
}

void FakeService::setStreamUrl(const std::string& roomId, const std::string& url)
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->streamUrls[roomId] = url;
}

void FakeService::addShareCode(const std::string& code, const std::string& schema)
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->shareCodes[code] = schema;
}

void FakeService::addUserShareCode(const std::string& code, const std::string& secUid)
{
    addShareCode(code, "snssdk1128://user/profile/0?refer=web&gd_label=click_wap_profile_bottom"
                       "&type=need_follow&needlaunchlog=1&sec_uid="
                           + secUid);
}

void FakeService::addRoomShareCode(const std::string& code, const std::string& roomId, const std::string& secUid)
{
    addShareCode(code, "snssdk1128://live?room_id=" + roomId + "&from=webview&u_code=0&sec_uid=" + secUid);
}

void FakeService::addShortLink(const std::string& code, const std::string& location)
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->shortLinks[code] = location;
}

void FakeService::addUserShortLink(const std::string& code, const std::string& secUid)
{
    addShortLink(code, "https://" + host() + "/share/user/" + secUid
                           + "?did=MS4wLjABAAAA&iid=MS4wLjABAAAA&with_sec_did=1&u_code=0&from_ssr=1");
}

void FakeService::addRoomShortLink(const std::string& code, const std::string& roomId)
{
    addShortLink(code, "https://" + host() + "/webcast/reflow/" + roomId
                           + "?u_code=0&did=MS4wLjABAAAA&iid=MS4wLjABAAAA&with_sec_did=1");
}

std::string FakeService::shortLinkUrl(const std::string& code) const
{
    return "https://" + host() + "/" + code + "/";
}

std::string FakeService::webLinkUrl(const std::string& secUid) const
{
    return "https://" + webDomainHost() + "/user/" + secUid;
}

void FakeService::setFailure(Endpoint endpoint, Failure failure, int count)
{
    std::lock_guard lock(m_impl->mutex);
    if (failure == Failure::None || count == 0) {
        m_impl->failures.erase(endpoint);
        return;
    }
    FailureSlot& slot = m_impl->failures[endpoint];
    slot.failure = failure;
    slot.remaining = count;
}

void FakeService::setRawAnswer(Endpoint endpoint, const std::string& body, int count)
{
    std::lock_guard lock(m_impl->mutex);
    FailureSlot& slot = m_impl->failures[endpoint];
    slot.failure = Failure::Raw;
    slot.remaining = count;
    slot.rawBody = body;
}

void FakeService::setSlowDelay(std::chrono::milliseconds delay)
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->slowDelay = delay;
}

std::vector<FakeService::Request> FakeService::requests() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->log;
}

std::vector<FakeService::Request> FakeService::requests(Endpoint endpoint) const
{
    std::lock_guard lock(m_impl->mutex);
    std::vector<Request> out;
    for (const Request& r : m_impl->log)
        if (endpoint == Endpoint::Any || r.endpoint == endpoint)
            out.push_back(r);
    return out;
}

void FakeService::setRequestObserver(std::function<void(const Request&)> observer)
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->observer = std::move(observer);
}

void FakeService::clearRequests()
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->log.clear();
}

} // namespace qingtong::test
