#pragma once

#include "platform/Text.h"

namespace qingtong {

// Names and texts of the two files in the run directory.
inline constexpr const char* kConfigFileName = "Config.ini";
inline constexpr const char* kListFileName = "userList.txt";
inline constexpr const char* kSettingsSection = "softSet";
inline constexpr const char* kServiceSection = "service";
inline constexpr const char* kDownloadFolderName = "Download";

// Boolean settings are stored as these texts (GBK).
extern const Text kTrueText;   // "真"
extern const Text kFalseText;  // "假"

Text configPath(const Text& runDirectory);
Text listPath(const Text& runDirectory);
// The download folder used when Config.ini names none: run directory + "/Download".
Text defaultDownloadFolder(const Text& runDirectory);

// Writes key `save` (the folder, exactly as given) and key `folder` ("真" / "假") of section
// softSet, keeping the rest of Config.ini byte for byte. False when the file could not be
// written.
bool saveSettings(const Text& runDirectory, const Text& downloadFolder, bool perAuthorFolders);

// A field as it can be stored in one line of userList.txt: CR and LF become spaces, each run
// of "-" becomes one "-", and a "-" ending the field is dropped, so neither a line break nor
// the field separator "--" can appear (or arise next to the separator).
Text listFieldText(const Text& field);

class MonitorList;
// The content userList.txt gets for the table: cells 1..3 of every row, as listFieldText
// stores them, one row a line ending in CR LF.
Text listFileText(const MonitorList& list);

} // namespace qingtong
