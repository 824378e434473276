#include "platform/net/UrlDownload.h"

#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <new>
#include <unistd.h>

#include <curl/curl.h>

namespace qingtong {

namespace {

void initCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool startsWithNoCase(const Text& text, const char* prefix)
{
    for (std::size_t i = 0; prefix[i] != '\0'; ++i) {
        if (i >= text.size())
            return false;
        char c = text[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i])
            return false;
    }
    return true;
}

bool curlSupports(const char* protocol)
{
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    if (!info || !info->protocols)
        return false;
    for (const char* const* p = info->protocols; *p; ++p) {
        if (std::string(*p) == protocol)
            return true;
    }
    return false;
}

struct EasyHandle {
    CURL* handle = curl_easy_init();
    EasyHandle() = default;
    EasyHandle(const EasyHandle&) = delete;
    EasyHandle& operator=(const EasyHandle&) = delete;
    ~EasyHandle()
    {
        if (handle)
            curl_easy_cleanup(handle);
    }
};

struct Transfer {
    int fd = -1;
    const ProgressCheck* check = nullptr;
    std::chrono::milliseconds stallTimeout{0};
    std::uint64_t written = 0;
    bool writeFailed = false;
    bool abortedByCheck = false;
    bool stalled = false;
    std::uint64_t lastSeenBytes = 0;
    std::chrono::steady_clock::time_point lastActivity = std::chrono::steady_clock::now();
};

size_t writeToFile(char* data, size_t size, size_t count, void* user)
{
    auto* transfer = static_cast<Transfer*>(user);
    const size_t total = size * count;
    size_t done = 0;
    while (done < total) {
        const ssize_t n = ::write(transfer->fd, data + done, total - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            transfer->writeFailed = true;
            return done;  // anything short of total makes libcurl stop with a write error
        }
        done += static_cast<size_t>(n);
        transfer->written += static_cast<std::uint64_t>(n);
    }
    return total;
}

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    auto* transfer = static_cast<Transfer*>(user);
    const auto now = std::chrono::steady_clock::now();
    if (transfer->written != transfer->lastSeenBytes) {
        transfer->lastSeenBytes = transfer->written;
        transfer->lastActivity = now;
    }
    if (transfer->check && *transfer->check) {
        bool goOn = true;
        try {
            goOn = (*transfer->check)(transfer->written);
        } catch (...) {
            goOn = false;
        }
        if (!goOn) {
            transfer->abortedByCheck = true;
            return 1;
        }
    }
    if (transfer->stallTimeout.count() > 0 && now - transfer->lastActivity >= transfer->stallTimeout) {
        transfer->stalled = true;
        return 1;
    }
    return 0;
}

} // namespace

bool isDownloadableUrl(const Text& url)
{
    return startsWithNoCase(url, "http://") || startsWithNoCase(url, "https://")
        || startsWithNoCase(url, "rtmp://");
}

DownloadOutcome urlDownloadToDescriptor(const Text& url, int fd, const ProgressCheck& check,
                                        const DownloadOptions& options)
{
    DownloadOutcome outcome;
    if (fd < 0 || !isDownloadableUrl(url) || url.find('\0') != Text::npos)
        return outcome;
    if (startsWithNoCase(url, "rtmp://") && !curlSupports("rtmp"))
        return outcome;

    try {
        initCurlOnce();
        EasyHandle easy;
        if (!easy.handle)
            return outcome;
        CURL* h = easy.handle;

        Transfer transfer;
        transfer.fd = fd;
        transfer.check = &check;
        transfer.stallTimeout = options.stallTimeout;

        std::string allowed = "http,https";
        if (curlSupports("rtmp"))
            allowed += ",rtmp";

        curl_easy_setopt(h, CURLOPT_URL, url.c_str());
        curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, allowed.c_str());
        curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(h, CURLOPT_MAXREDIRS, options.maxRedirects);
        curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(h, CURLOPT_FAILONERROR, 1L);
        curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS,
                         static_cast<long>(options.connectTimeout.count()));
        curl_easy_setopt(h, CURLOPT_BUFFERSIZE, 64L * 1024L);
        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &writeToFile);
        curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
        curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &onProgress);
        curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer);
        curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, options.strictTls ? 1L : 0L);
        curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, options.strictTls ? 2L : 0L);
        curl_easy_setopt(h, CURLOPT_TCP_KEEPALIVE, 1L);

        const CURLcode code = curl_easy_perform(h);
        curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &outcome.httpStatus);
        outcome.bytesWritten = transfer.written;
        outcome.stalled = transfer.stalled;

        switch (code) {
        case CURLE_OK:
            // Over http and https only a 2xx answer carries the stream; any other final answer
            // (a 3xx that names no target, 204, ...) delivered no recording at all.
            outcome.result = startsWithNoCase(url, "rtmp://") || (outcome.httpStatus >= 200 && outcome.httpStatus < 300)
                ? DownloadResult::Completed
                : DownloadResult::Failed;
            break;
        case CURLE_ABORTED_BY_CALLBACK:
            outcome.result = transfer.abortedByCheck ? DownloadResult::Aborted : DownloadResult::Failed;
            break;
        case CURLE_OUT_OF_MEMORY:
            outcome.result = DownloadResult::OutOfMemory;
            break;
        case CURLE_WRITE_ERROR:
            outcome.result = DownloadResult::Failed;
            break;
        case CURLE_RECV_ERROR:
        case CURLE_PARTIAL_FILE:
        case CURLE_GOT_NOTHING:
        case CURLE_SEND_ERROR:
        case CURLE_OPERATION_TIMEDOUT:
        case CURLE_HTTP2:
        case CURLE_HTTP2_STREAM:
        case CURLE_SSL_SHUTDOWN_FAILED:
        case CURLE_BAD_CONTENT_ENCODING:
            outcome.result = transfer.written > 0 ? DownloadResult::ConnectionBroke
                                                  : DownloadResult::Failed;
            break;
        default:
            outcome.result = DownloadResult::Failed;
            break;
        }
    } catch (const std::bad_alloc&) {
        outcome.result = DownloadResult::OutOfMemory;
    } catch (...) {
        outcome.result = DownloadResult::Failed;
    }
    return outcome;
}

DownloadOutcome urlDownloadToFile(const Text& url, const std::string& path, const ProgressCheck& check,
                                  const DownloadOptions& options)
{
    if (!isDownloadableUrl(url))
        return {};
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return {};
    DownloadOutcome outcome = urlDownloadToDescriptor(url, fd, check, options);
    if (::close(fd) != 0 && outcome.result == DownloadResult::Completed)
        outcome.result = DownloadResult::Failed;
    return outcome;
}

} // namespace qingtong
