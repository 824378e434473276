#pragma once

#include <cstdint>
#include <string>

#include "platform/Text.h"

namespace qingtong {

// File-system operations on GBK paths. Each converts the path to UTF-8 (the file system's
// encoding here) at this edge; "/" separates levels, "/" alone is the root.

std::string nativePath(const Text& path);   // GBK -> UTF-8
Text textPath(const std::string& native);   // UTF-8 -> GBK ("?" for what GBK lacks)

// Reads the whole file. False (and `out` empty) when it is missing or unreadable.
bool readWholeFile(const Text& path, Bytes& out);
// The whole file as text; "" when missing or unreadable.
Text readTextFile(const Text& path);

// Replaces the file's content atomically: the data goes to a temporary file in the same
// folder, is flushed to disk, and then takes the file's name. On any failure the old file
// is left exactly as it was and false is returned. A new file gets mode 0644; an existing
// file keeps its mode.
bool writeWholeFile(const Text& path, const Bytes& data);
bool writeTextFile(const Text& path, const Text& data);

bool pathExists(const Text& path);        // a file or a directory
bool isDirectory(const Text& path);
bool isRegularFile(const Text& path);
// Size in bytes as the file system has it now (also while another thread writes the file);
// -1 when the file is missing or not a regular file.
std::int64_t fileSize(const Text& path);

// One level; true when it was created. Mode 0755.
bool createDirectory(const Text& path);
// Removes a file (not a directory); true when it is gone.
bool removeFile(const Text& path);
// Removes a directory with everything in it; true when it is gone afterwards.
bool removeDirectoryTree(const Text& path);

// Folder part of a path ("" when it has no "/"; "/" for a file in the root).
Text parentFolder(const Text& path);
bool isAbsolutePath(const Text& path);

// Creates every missing level of a directory path. A path that is not absolute is taken
// under `runDirectory` (so a bare name is a folder beside the program's files). Returns
// 1 when it created the directory, 0 when it existed, -1 on failure. On success `path` is
// rewritten to the full path with one trailing "/". When a deeper level can not be made,
// the levels this call made are removed again (only while they are still empty, so a folder
// that another thread has begun to use meanwhile is never lost).
int createDirectoryPath(Text& path, const Text& runDirectory);

} // namespace qingtong
