#pragma once

#include <cstdint>
#include <ctime>
#include <functional>

#include "app/AppContext.h"
#include "platform/Text.h"
#include "platform/net/UrlDownload.h"

namespace qingtong {

// Longest file or folder name the file system takes, in bytes of its (UTF-8) encoding.
constexpr std::size_t kMaxNameBytes = 255;

// The nickname as it may appear in a recording's file name: the nine characters that no
// file name may hold removed, control characters replaced by "_", and shortened on a
// character boundary so that the whole name (with stamp, collision suffix and ".flv")
// stays within kMaxNameBytes.
Text recordingNickname(const Text& nickname);

// The author folder for a nickname: the cleaned nickname without ASCII and full-width
// spaces. A result that would be empty, "." or ".." is given a leading "_" (empty: "_").
Text authorFolderName(const Text& nickname);

// Folder that receives a recording: downloadFolder (relative to runDirectory unless it
// is absolute), plus the author folder when perAuthorFolders is on. No trailing separator.
Text recordingFolder(const Text& runDirectory, const Text& downloadFolder, bool perAuthorFolders,
                     const Text& nickname);

// Twelve digits yyyyMMddHHmm of the local time `when`.
Text recordingStamp(std::time_t when);

// Creates a new, empty recording file folder/base.flv exclusively; when that name is taken it
// tries base_2.flv, base_3.flv, ... so no recording ever overwrites another. Returns the open
// descriptor (-1 on failure) and stores the chosen path (GBK) in `path` (on failure, the
// first path that was tried).
int createRecordingFile(const Text& folder, const Text& base, Text& path);

// The end text of a recording for a download result.
Text endTextFor(DownloadResult result);

struct RecordingParams {
    std::uint32_t identity = 0;       // download identity, written into cell 11
    ProgressCheck stopCheck;           // false: stop ("下载终止")
    DownloadOptions download;
    std::time_t startTime = 0;         // 0: now
};

// Records the stream of row `row` (address in cell 6, nickname in cell 1) into a new .flv
// file. Writes cells 10 and 11 at the start and cell 7 (end text), 9 and 11 (emptied) at
// the end; a row deleted meanwhile is never written. Returns the end text ("" when the row
// was gone at the start). Runs on the calling thread until the download has ended.
Text recordStream(AppContext& context, RowId row, const RecordingParams& params);

} // namespace qingtong
