#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/Settings.h"

namespace qingtong::test {

// A loopback stand-in for the service over HTTPS: one server on 127.0.0.1 answers the
// paths of every host (webcast API, short links, web API, app API). Tests script it with
// users, share codes, short links, live rooms and failures, then read back what went on
// the wire. All strings given to it and read from it are UTF-8 (as on the wire).
// Thread-safe: the monitor and an add batch may use it at the same time.
//
// Host layout of config(): every host is "127.0.0.1:PORT" except the web domain, which is
// "localhost:PORT" so that a web link of a user's page never looks like a short link.
// Web links are never requested, so that host needs no server of its own.
class FakeService {
public:
    struct User {
        std::string secUid;
        std::string uid;        // numeric user id (sent as the service sends it)
        std::string nickname;   // UTF-8, may hold Chinese and emoji
        std::string uniqueId;   // display id; "" makes the service show the short id
        std::string shortId;    // numeric
        bool live = false;
        std::string roomId;     // 19 digits; sent as an unquoted JSON number
    };

    // The endpoints, for failures and request filters.
    enum class Endpoint { LiveStatus, RoomInfo, UserInfo, ShareCode, ShortLink, Any };

    // What an endpoint sends instead of its normal answer.
    enum class Failure {
        None,
        StatusCode,   // HTTP 200, JSON with status_code 8 (and otherwise the normal fields)
        NotJson,      // HTTP 200, a body that is not JSON
        HtmlError,    // HTTP 502 with an HTML error page
        Empty,        // HTTP 200 with an empty body
        Slow,         // the normal answer after slowDelay (cut short when the fake stops)
        Reset,        // the connection is reset (TCP RST) without an answer; note that a client
                      // may send again on a fresh connection, so give it a count above 1
        Truncated,    // headers announce a body, the connection closes half-way
        Raw,          // HTTP 200 with the body given to setRawAnswer
    };

    struct Request {
        std::string method;
        std::string path;    // without the query
        std::string query;   // raw text after "?", "" when none
        std::string body;
        std::multimap<std::string, std::string> headers;  // names as sent
        std::string header(const std::string& name) const;  // first value, name case ignored; "" when absent
        bool hasHeader(const std::string& name) const;
        Endpoint endpoint = Endpoint::Any;
    };

    // Listens on 127.0.0.1:port, or on a free port when port is 0.
    explicit FakeService(int port = 0);
    ~FakeService();
    FakeService(const FakeService&) = delete;
    FakeService& operator=(const FakeService&) = delete;

    bool running() const;
    int port() const;
    std::string host() const;          // "127.0.0.1:PORT"
    std::string webDomainHost() const; // "localhost:PORT"

    // A ServiceConfig pointing every host at this fake (no certificate checks).
    ServiceConfig config() const;
    // Same as config(), made the process-wide configuration.
    void install() const;
    // The [service] section of Config.ini for config(), lines ended by "\n".
    std::string serviceIniSection() const;
    // Writes that section into runDirectory/Config.ini, keeping every other section.
    bool writeServiceConfig(const std::string& runDirectory) const;

    // A "host:port" on 127.0.0.1 where nothing listens (connections are refused).
    static std::string refusedHost();

    // Scripting ---------------------------------------------------------------
    void addUser(const User& user);     // replaces a user with the same sec_uid
    // Live state of the user with this uid (or sec_uid); "" room id keeps the current one.
    bool setLive(const std::string& uidOrSecUid, bool live, const std::string& roomId = "");
    // Stream pull address of a room; default https://HOST/stream/ROOMID.flv.
    void setStreamUrl(const std::string& roomId, const std::string& url);
    // A share code whose translation gives this schema.
    void addShareCode(const std::string& code, const std::string& schema);
    // A share code of a user's home page / of a live room owned by the user.
    void addUserShareCode(const std::string& code, const std::string& secUid);
    void addRoomShareCode(const std::string& code, const std::string& roomId, const std::string& secUid);
    // A short link https://HOST/CODE/ answered with 302 and this raw Location value.
    void addShortLink(const std::string& code, const std::string& location);
    void addUserShortLink(const std::string& code, const std::string& secUid);
    void addRoomShortLink(const std::string& code, const std::string& roomId);
    // Addresses a test pastes.
    std::string shortLinkUrl(const std::string& code) const;   // https://127.0.0.1:PORT/CODE/
    std::string webLinkUrl(const std::string& secUid) const;   // https://localhost:PORT/user/KEY

    // Failures: the endpoint answers with `failure` for the next `count` requests (-1: until
    // cleared). Failure::None clears.
    void setFailure(Endpoint endpoint, Failure failure, int count = -1);
    void setRawAnswer(Endpoint endpoint, const std::string& body, int count = -1);
    void setSlowDelay(std::chrono::milliseconds delay);

    // What went on the wire ---------------------------------------------------
    std::vector<Request> requests() const;
    std::vector<Request> requests(Endpoint endpoint) const;
    void clearRequests();
    // Called for every request as it arrives, on the server's thread (for a live log).
    void setRequestObserver(std::function<void(const Request&)> observer);

    // Stops the server; pending slow answers end at once. Called by the destructor.
    void stop();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace qingtong::test
