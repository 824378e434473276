#include "platform/net/CurlGlobal.h"

#include <mutex>

#include <curl/curl.h>

namespace qingtong::net {

void ensureCurlGlobal()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

} // namespace qingtong::net
