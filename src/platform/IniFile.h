#pragma once

#include "platform/Text.h"

namespace qingtong {

// An INI file read and written one value at a time, the classic profile-string way:
// "[section]" lines, then "key=value" lines; ";" starts a comment line. Section and key
// names are matched ignoring ASCII case and surrounding blanks; the first match counts.
// Everything is GBK bytes and is kept byte for byte.
class IniFile {
public:
    // Longest value handed out, in bytes (what a 10,240-byte buffer holds).
    static constexpr std::size_t kMaxValueLength = 10239;

    explicit IniFile(Text path);

    const Text& path() const { return m_path; }

    // The value, trimmed of blanks and tabs, with one pair of enclosing quotes (' or ")
    // removed, cut to kMaxValueLength bytes on a character boundary. `fallback` when the
    // file, the section or the key is missing.
    Text value(const Text& section, const Text& key, const Text& fallback = {}) const;

    // Sets one value and rewrites the file atomically. Every other line (other sections,
    // keys, comments, blank lines, line ends) stays byte for byte. A missing key is added
    // after the last entry of its section, a missing section at the end of the file, a
    // missing file is created. CR and LF in the value are written as spaces, so a value can
    // never add lines. False when the file could not be written (it is then unchanged).
    bool setValue(const Text& section, const Text& key, const Text& value);

private:
    Text m_path;
};

} // namespace qingtong
