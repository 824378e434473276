#include "monitor/Recording.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

#include <filesystem>

#include "monitor/MonitorTexts.h"
#include "platform/codePage.h"
#include "platform/textRoutines.h"

namespace qingtong {

namespace {

// Bytes a GBK character takes in UTF-8: ASCII 1, anything else at most 3 (every
// double-byte character of code page 936, and its single 0x80, lies in the BMP).
std::size_t utf8Estimate(const Text& text, std::size_t pos, std::size_t length)
{
    return (length == 1 && static_cast<unsigned char>(text[pos]) < 0x80) ? 1 : 3;
}

// Cuts `text` on a character boundary so that its UTF-8 form takes at most `limit` bytes.
Text shortenTo(const Text& text, std::size_t limit)
{
    std::size_t used = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t length = charLengthAt(text, pos);
        const std::size_t cost = utf8Estimate(text, pos, length);
        if (used + cost > limit)
            break;
        used += cost;
        pos += length;
    }
    return text.substr(0, pos);
}

// Control characters can never be part of a trail byte (those start at 0x40 and skip 0x7F),
// so they are replaced byte by byte.
void replaceControlChars(Text& text)
{
    for (char& c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            c = '_';
    }
}

Text withoutSpaces(const Text& text)
{
    Text out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t length = charLengthAt(text, pos);
        const bool space = (length == 1 && text[pos] == ' ')
            || (length == 2 && text.compare(pos, 2, monitortext::kFullWidthSpace) == 0);
        if (!space)
            out.append(text, pos, length);
        pos += length;
    }
    return out;
}

// "_" + stamp (12) + "_" + collision number (up to 5) + ".flv"
constexpr std::size_t kFileNameReserve = 1 + 12 + 6 + 4;

Text cleanedNickname(const Text& nickname)
{
    Text name = nickname;
    stripInvalidFileNameChars(name);
    replaceControlChars(name);
    return name;
}

} // namespace

Text recordingNickname(const Text& nickname)
{
    return shortenTo(cleanedNickname(nickname), kMaxNameBytes - kFileNameReserve);
}

Text authorFolderName(const Text& nickname)
{
    Text name = shortenTo(withoutSpaces(cleanedNickname(nickname)), kMaxNameBytes - 1);
    if (name.empty() || name == "." || name == "..")
        name = "_" + name;
    return name;
}

Text recordingFolder(const Text& runDirectory, const Text& downloadFolder, bool perAuthorFolders,
                     const Text& nickname)
{
    Text folder = downloadFolder;
    if (folder.empty())
        folder = runDirectory;
    else if (folder.front() != '/')
        folder = runDirectory + "/" + folder;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    if (perAuthorFolders)
        folder += (folder == "/" ? "" : "/") + authorFolderName(nickname);
    return folder;
}

Text recordingStamp(std::time_t when)
{
    return formatLocalTime(when, "yyyyMMdd", "HHmm", true);
}

int createRecordingFile(const Text& folder, const Text& base, Text& path)
{
    const Text prefix = (folder == "/" ? "/" : folder + "/") + base;
    const Text first = prefix + ".flv";
    for (int n = 1; n <= 99999; ++n) {
        const Text candidate = n == 1 ? first : prefix + "_" + numberText(n) + ".flv";
        const int fd = ::open(ansiToUtf8(candidate).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            path = candidate;
            return fd;
        }
        if (errno != EEXIST)
            break;
    }
    path = first;
    return -1;
}

Text endTextFor(DownloadResult result)
{
    switch (result) {
    case DownloadResult::Completed:
        return monitortext::kDownloadDone;
    case DownloadResult::Aborted:
        return monitortext::kDownloadStopped;
    case DownloadResult::OutOfMemory:
        return monitortext::kCannotDownload;
    case DownloadResult::ConnectionBroke:
        return monitortext::kResourceInvalid;
    case DownloadResult::Failed:
        break;
    }
    return monitortext::kDownloadFailed;
}

Text recordStream(AppContext& context, RowId row, const RecordingParams& params)
{
    const std::optional<MonitorRow> cells = context.list.rowById(row);
    if (!cells)
        return {};
    const Text address = (*cells)[CellStream];
    const Text nickname = (*cells)[CellNickname];

    // The settings are read once, when the recording starts.
    const Text downloadFolder = context.settings.downloadFolder();
    const bool perAuthor = context.settings.perAuthorFolders();

    const Text folder = recordingFolder(context.runDirectory, downloadFolder, perAuthor, nickname);
    // A download folder that is missing (typed into the settings, or removed meanwhile) is
    // created with all its levels rather than losing the broadcast; one that can not be
    // created makes the file creation below fail with its end text.
    {
        std::error_code ignored;
        std::filesystem::create_directories(std::filesystem::path(ansiToUtf8(folder)), ignored);
    }

    const std::time_t now = params.startTime != 0 ? params.startTime : std::time(nullptr);
    const Text base = recordingNickname(nickname) + "_" + recordingStamp(now);

    Text path;
    int fd = -1;
    if (isDownloadableUrl(address))
        fd = createRecordingFile(folder, base, path);
    else
        path = folder + "/" + base + ".flv";

    context.list.updateById(row, [&](MonitorRow& r) {
        r[CellFilePath] = path;
        r[CellDownloadId] = numberText(params.identity);
    });

    DownloadResult result = DownloadResult::Failed;
    if (fd >= 0) {
        const DownloadOutcome outcome = urlDownloadToDescriptor(address, fd, params.stopCheck, params.download);
        result = outcome.result;
        const bool closed = ::close(fd) == 0;
        if (!closed && result == DownloadResult::Completed)
            result = DownloadResult::Failed;
        // A file that never received a byte holds nothing worth keeping; a stream that failed
        // before it began leaves no empty file behind.
        if (outcome.bytesWritten == 0 && result != DownloadResult::Completed) {
            struct stat st {};
            const std::string native = ansiToUtf8(path);
            if (::stat(native.c_str(), &st) == 0 && st.st_size == 0)
                ::unlink(native.c_str());
        }
    }

    const Text endText = endTextFor(result);
    context.list.updateById(row, [&](MonitorRow& r) {
        r[CellDownload] = endText;
        r[CellThread].clear();
        r[CellDownloadId].clear();
    });
    return endText;
}

} // namespace qingtong
