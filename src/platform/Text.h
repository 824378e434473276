#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qingtong {

// Byte string in code page 936 (GBK). Every user-visible text, path, URL, list cell and
// file content is a Text; positions in it are byte positions and a double-byte character
// (lead byte 0x81..0xFE and the byte after it) is never matched from its second byte.
using Text = std::string;

// UTF-16 text, used inside the JSON document, the HTTP client and the conversions.
using WideText = std::u16string;

// Length-counted bytes: file contents, HTTP bodies.
using Bytes = std::vector<std::uint8_t>;

inline Text toText(const Bytes& bytes) { return Text(bytes.begin(), bytes.end()); }
inline Bytes toBytes(const Text& text) { return Bytes(text.begin(), text.end()); }

} // namespace qingtong
