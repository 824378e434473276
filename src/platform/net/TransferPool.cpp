#include "platform/net/TransferPool.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include <curl/curl.h>

#include "platform/net/CurlGlobal.h"

namespace qingtong::net {

Transfer::Transfer()
{
    ensureCurlGlobal();
    multi = curl_multi_init();
    easy = curl_easy_init();
    if (multi != nullptr) {
        // One open connection per Transfer: going to another host or port closes the
        // connection to the previous one, as a new connection replaces the old.
        curl_multi_setopt(multi, CURLMOPT_MAXCONNECTS, 1L);
    }
}

Transfer::~Transfer()
{
    if (easy != nullptr)
        curl_easy_cleanup(easy);
    if (multi != nullptr)
        curl_multi_cleanup(multi);
}

void Transfer::clearOptions()
{
    // The list of cookie files is not freed by a reset; clearing it here (while a cookie share
    // is still attached, so the shared cookies stay) keeps it from growing with every request.
    curl_easy_setopt(easy, CURLOPT_COOKIEFILE, static_cast<char*>(nullptr));
    curl_easy_setopt(easy, CURLOPT_SHARE, static_cast<CURLSH*>(nullptr));
    curl_easy_reset(easy);
}

namespace {

struct Pool {
    std::mutex mutex;
    std::vector<std::unique_ptr<Transfer>> idle;   // most recently released last
    std::size_t capacity = 16;
};

Pool& pool()
{
    static Pool* p = new Pool;   // never destroyed: handles may be released during exit
    return *p;
}

} // namespace

std::unique_ptr<Transfer> TransferPool::acquire(const std::string& target)
{
    {
        Pool& p = pool();
        std::lock_guard lock(p.mutex);
        // Only a Transfer that went to the same place is worth taking: its connection is
        // warm. Taking another would close that one's connection for nothing.
        auto it = std::find_if(p.idle.rbegin(), p.idle.rend(), [&](const auto& t) { return t->lastTarget == target; });
        if (it != p.idle.rend()) {
            auto pick = std::prev(it.base());
            std::unique_ptr<Transfer> t = std::move(*pick);
            p.idle.erase(pick);
            return t;
        }
    }
    auto t = std::make_unique<Transfer>();
    return t->valid() ? std::move(t) : nullptr;
}

void TransferPool::release(std::unique_ptr<Transfer> transfer)
{
    if (!transfer || !transfer->valid())
        return;
    std::unique_ptr<Transfer> dropped;
    Pool& p = pool();
    std::lock_guard lock(p.mutex);
    if (p.capacity == 0)
        return;   // `transfer` is closed on return
    if (p.idle.size() >= p.capacity) {
        dropped = std::move(p.idle.front());
        p.idle.erase(p.idle.begin());
    }
    p.idle.push_back(std::move(transfer));
}

void TransferPool::setCapacity(std::size_t capacity)
{
    std::vector<std::unique_ptr<Transfer>> dropped;
    Pool& p = pool();
    std::lock_guard lock(p.mutex);
    p.capacity = capacity;
    while (p.idle.size() > capacity) {
        dropped.push_back(std::move(p.idle.front()));
        p.idle.erase(p.idle.begin());
    }
}

std::size_t TransferPool::idleCount()
{
    Pool& p = pool();
    std::lock_guard lock(p.mutex);
    return p.idle.size();
}

} // namespace qingtong::net
