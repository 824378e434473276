#pragma once

#include <cstddef>
#include <memory>
#include <string>

typedef void CURL;
typedef void CURLM;

namespace qingtong::net {

// One libcurl easy handle driven through its own multi handle. The multi handle keeps the
// connection cache and the DNS cache, the easy handle the TLS session cache; so a Transfer
// that is handed from one owner to the next carries its warm connection along. A Transfer
// is used by one thread at a time: whoever holds the unique_ptr.
struct Transfer {
    Transfer();
    ~Transfer();
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    bool valid() const { return multi != nullptr && easy != nullptr; }
    // Back to default options, detached from any cookie share; connections and caches stay.
    void clearOptions();

    CURLM* multi = nullptr;
    CURL* easy = nullptr;
    // "scheme://host:port" of the last transfer: the pool hands a Transfer back preferably
    // to someone who goes to the same place.
    std::string lastTarget;
};

// A process-wide pool of idle Transfers, so that a short-lived client does not pay for a
// new TCP connection and a full TLS handshake on every query. Thread-safe.
class TransferPool {
public:
    // An idle Transfer whose last target matches (most recently released first), else a new one.
    static std::unique_ptr<Transfer> acquire(const std::string& target);
    // Gives a Transfer back; it must not be in use by a transfer any more.
    static void release(std::unique_ptr<Transfer> transfer);
    // Most idle Transfers kept (default 16); 0 keeps none. Extra ones are closed.
    static void setCapacity(std::size_t capacity);
    static std::size_t idleCount();
};

} // namespace qingtong::net
