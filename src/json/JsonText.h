#pragma once

#include "json/JsonTypes.h"

// Conversions between the byte texts callers hold and the UTF-16 the tree keeps.
namespace qingtong::jsontext {

// Invalid UTF-8 sequences become U+FFFD. The second form reuses out's storage.
WideText utf8ToWide(const char* utf8, std::size_t length);
void utf8ToWide(const char* utf8, std::size_t length, WideText& out);
inline WideText utf8ToWide(const Text& utf8) { return utf8ToWide(utf8.data(), utf8.size()); }
// Unpaired surrogates become U+FFFD.
Text wideToUtf8(const char16_t* wide, std::size_t length);
inline Text wideToUtf8(const WideText& wide) { return wideToUtf8(wide.data(), wide.size()); }

// Code page 936 (GBK). Bytes that do not form a character become "?" going in; characters
// the code page lacks become "?" going out.
WideText gbkToWide(const char* gbk, std::size_t length);
inline WideText gbkToWide(const Text& gbk) { return gbkToWide(gbk.data(), gbk.size()); }
Text wideToGbk(const char16_t* wide, std::size_t length);
inline Text wideToGbk(const WideText& wide) { return wideToGbk(wide.data(), wide.size()); }

// strtod-like reading of the longest decimal prefix (leading whitespace skipped); 0 for none.
double readDecimal(const char16_t* text, std::size_t length);
// Optional whitespace, optional sign, decimal digits up to the first other character,
// saturated to the 64-bit range; 0 for none.
std::int64_t readInteger(const char16_t* text, std::size_t length);

} // namespace qingtong::jsontext
