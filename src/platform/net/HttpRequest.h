#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/net/HttpSession.h"

namespace qingtong::net {

// One request on a connection: verb, object path and secure flag, request headers, options,
// credentials; then one exchange (send) and the reading of its response. Text arguments are
// UTF-8 (or plain bytes); the object path is sent as given, with bytes outside printable
// ASCII percent-encoded.
//
// send() returns when the header block of the final response has arrived (automatic
// redirects and interim responses are passed over); the body is then read piece by piece
// with queryDataAvailable() and readData(), each bounded by the receive time-out. A request
// can be sent again after a failed send.
class HttpRequest {
public:
    HttpRequest(std::shared_ptr<HttpConnection> connection, std::string verb, std::string objectPath,
                bool secure);
    ~HttpRequest();
    HttpRequest(const HttpRequest&) = delete;
    HttpRequest& operator=(const HttpRequest&) = delete;

    const std::shared_ptr<HttpConnection>& connection() const { return m_connection; }
    const std::string& verb() const { return m_verb; }
    const std::string& objectPath() const { return m_path; }
    bool secure() const { return m_secure; }

    // Adds header lines ("Name:value", several separated by CR LF) with the add-request
    // flags: Replace replaces a header of that name (an empty value removes it) and fails
    // when there is none unless Add is given too; AddIfNew adds only a header that is not
    // there yet and fails otherwise; Add alone appends; Coalesce joins values with ", ".
    bool addHeaders(std::string_view lines, std::uint32_t flags);
    // Sets one header, replacing one of the same name in place or appending it; an empty
    // value sends the header with an empty value.
    void setHeader(const std::string& name, const std::string& value);
    // The headers in the order in which they will be sent (after Host).
    const std::vector<std::pair<std::string, std::string>>& headers() const { return m_headers; }
    bool hasHeader(std::string_view name) const;

    bool setOption(std::uint32_t option, std::uint32_t value) { return m_options.set(option, value); }
    const OptionSet& options() const { return m_options; }
    void setProxyCredentials(std::string user, std::string password);
    // Server (target 0) or proxy (target 1) credentials for a scheme (1 Basic, 2 NTLM,
    // 8 Digest, 16 Negotiate). False for another target or scheme.
    bool setCredentials(int target, int scheme, std::string user, std::string password);

    // Sends the request with `body` and waits for the response header block.
    bool send(const std::uint8_t* body, std::size_t length);
    NetError lastError() const { return m_error; }

    bool responded() const { return m_headersDone; }
    int statusCode() const { return m_status; }
    const std::string& statusText() const { return m_statusText; }
    // The final response's status line and header lines, each ended by CR LF, then an empty
    // line; "" before a response.
    const std::string& rawHeaders() const { return m_rawHeaders; }
    // Bytes of the body that can be read now without waiting; waits (at most the receive
    // time-out) when none are there yet. 0 at the end of the body. False on a failure.
    bool queryDataAvailable(std::size_t& available);
    bool readData(std::uint8_t* out, std::size_t capacity, std::size_t& read);

    // For the transfer callbacks.
    std::size_t onHeader(const char* data, std::size_t length);
    std::size_t onBody(const char* data, std::size_t length);
    // False ends the transfer (a passed-over body beyond its bound).
    bool onProgress(std::int64_t down, std::int64_t up);
    void onConnected();

private:
    enum class Phase { Idle, Running, Done };

    bool drive(bool untilHeaders);   // runs the transfer until headers or body data or the end
    void finishTransfer();
    void detach();
    OptionSet effectiveOptions() const;

    std::shared_ptr<HttpConnection> m_connection;
    std::string m_verb;
    std::string m_path;
    bool m_secure;
    std::vector<std::pair<std::string, std::string>> m_headers;
    OptionSet m_options;
    std::string m_proxyUser, m_proxyPassword;
    bool m_proxyCredentials = false;
    std::string m_serverUser, m_serverPassword;
    long m_serverAuth = 0;

    // Exchange state.
    Transfer* m_transfer = nullptr;
    Phase m_phase = Phase::Idle;
    NetError m_error = NetError::None;
    bool m_headersDone = false;
    bool m_followRedirects = true;
    bool m_paused = false;
    bool m_connected = false;
    int m_status = 0;
    std::string m_statusText;
    std::string m_rawHeaders;
    std::string m_blockHeaders;   // header block being received
    int m_blockStatus = 0;
    bool m_blockHasLocation = false;
    std::size_t m_headerBytes = 0;
    std::deque<std::string> m_body;   // received body pieces not read yet
    std::size_t m_bodyOffset = 0;     // bytes of m_body.front() already read
    std::size_t m_bodyBuffered = 0;
    std::int64_t m_lastDown = -1, m_lastUp = -1;
    std::chrono::steady_clock::time_point m_lastActivity;
    std::string m_url;
    std::string m_bodyCopy;
    void* m_headerList = nullptr;   // curl_slist of the request headers
};

} // namespace qingtong::net
