#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/Text.h"

namespace qingtong {

// How a download ended. Each kind maps to one end text of a recording.
enum class DownloadResult {
    Completed,        // the stream ended normally (clean close, or every announced byte arrived)
    Aborted,          // the progress check asked to stop
    OutOfMemory,      // memory ran out
    ConnectionBroke,  // the connection broke after data had begun to arrive
    Failed,           // anything else: no connection, HTTP error, unusable address or file, stall
};

struct DownloadOptions {
    // A download that receives nothing for this long ends with Failed. Zero: no limit.
    std::chrono::milliseconds stallTimeout{std::chrono::seconds(60)};
    std::chrono::milliseconds connectTimeout{std::chrono::seconds(30)};
    bool strictTls = false;   // verify certificates and host names
    long maxRedirects = 10;
};

// Called on the downloading thread whenever data arrives and at least about once a second
// while waiting. bytesSoFar counts the body bytes written. Return false to abort.
using ProgressCheck = std::function<bool(std::uint64_t bytesSoFar)>;

struct DownloadOutcome {
    DownloadResult result = DownloadResult::Failed;
    std::uint64_t bytesWritten = 0;
    long httpStatus = 0;
    bool stalled = false;     // Failed because nothing arrived for stallTimeout
};

// Downloads url (http, https or rtmp; redirects followed) into the open file descriptor fd,
// writing each piece straight to the file as it arrives, so a cut leaves everything received
// on disk. The descriptor stays open and owned by the caller. Never throws.
DownloadOutcome urlDownloadToDescriptor(const Text& url, int fd, const ProgressCheck& check,
                                        const DownloadOptions& options = {});

// The same into a new file at path (a file-system path, UTF-8 on this platform). The file is
// created exclusively: an existing file is never truncated (the download then fails).
DownloadOutcome urlDownloadToFile(const Text& url, const std::string& path,
                                  const ProgressCheck& check, const DownloadOptions& options = {});

// True when url names a scheme the downloader accepts (http, https, rtmp; any letter case).
bool isDownloadableUrl(const Text& url);

} // namespace qingtong
