#pragma once

#include <cstddef>
#include <ctime>
#include <vector>

#include "platform/Text.h"

namespace qingtong {

// Routines on GBK text. A double-byte character is a lead byte 0x81..0xFE followed by a
// trail byte 0x40..0xFE (not 0x7F); it is always taken whole, so no search, split or
// replacement ever matches from its second byte. Case is ignored only for ASCII letters.

// True when byte `pos` of `text` starts a double-byte character.
bool isDoubleByteAt(const Text& text, std::size_t pos);
// Length in bytes (1 or 2) of the character that starts at `pos`.
std::size_t charLengthAt(const Text& text, std::size_t pos);

// First occurrence of `needle` at or after byte `from` (0-based, a character boundary),
// starting on a character boundary; Text::npos when none. An empty needle matches at `from`.
std::size_t findText(const Text& hay, const Text& needle, std::size_t from = 0, bool ignoreCase = false);
// Start of the last occurrence, Text::npos when none.
std::size_t findLastText(const Text& hay, const Text& needle, bool ignoreCase = false);
bool containsText(const Text& hay, const Text& needle, bool ignoreCase = false);
// 1-based search as the routines of the web request describe it: 0 when not found.
int findTextPos(const Text& hay, const Text& needle, int startPos = 1, bool ignoreCase = false);

// Removes ASCII spaces and full-width spaces (A1 A1) at both ends; tabs and line breaks stay.
Text trimBlanks(const Text& text);

// The one split rule: each separator ends a piece (empty pieces kept), a non-empty rest
// after the last separator is the last piece, an empty text gives no pieces. An empty
// separator gives the whole text as one piece.
std::vector<Text> splitText(const Text& text, const Text& sep);
Text joinTexts(const std::vector<Text>& pieces, const Text& sep);

// Replaces every occurrence of `from` (left to right, not overlapping) by `to`.
Text replaceAll(const Text& text, const Text& from, const Text& to, bool ignoreCase = false);

// ASCII letter case only.
Text asciiLower(const Text& text);
Text asciiUpper(const Text& text);

// HTTP header lines: the part before / after the first ":", trimmed; "" without a ":".
Text headerName(const Text& line);
Text headerValue(const Text& line);
// First byte upper-cased when it is a to z.
Text capitaliseFirst(const Text& text);
// Raises the first letter of every "-" part of every header name; drops lines without ":".
Text normaliseHeaderCase(const Text& headers);

// Text before the first `sep`; "" (or the whole text with wholeIfMissing) when `sep` is
// missing or stands at the very start. An empty `sep` gives the whole text.
Text textLeftOf(const Text& text, const Text& sep, bool includeSeparator = false, bool wholeIfMissing = false,
                bool ignoreCase = false);
// Text after the last `sep`; "" (or the whole text with wholeIfMissing) when missing.
Text textRightOfLast(const Text& text, const Text& sep, bool includeSeparator = false, bool wholeIfMissing = false,
                     bool ignoreCase = false);
// Bytes between `left` (searched from 1-based `start`) and the next `right`; "" when either
// is missing. "#引号" in a mark stands for a double quote. Case is ignored unless caseSensitive.
Text textBetweenMarks(const Text& text, const Text& left, const Text& right, int start = 1,
                      bool caseSensitive = false);
// Text between the first `start` (from 1-based startPos) and the next `end` after it.
Text textBetween(const Text& text, const Text& start, const Text& end, int startPos = 1, bool ignoreCase = false,
                 bool includeMarks = false, bool wholeIfMissing = false);

// RFC 4648 Base64, standard alphabet, "=" fill, no line breaks.
Text base64Encode(const Bytes& data);

// Cookie texts are items "name=value" joined by "; ".
Text cookieName(const Text& item);
// Received cookies first (they win), then the sent ones not received again; items ending
// in "=deleted" are dropped; repetitions removed. Stored into `sent` and returned.
Text mergeCookieTexts(Text& sent, const Text& received);
// The items of `text` (split at `sep`) without repetitions, joined by `sep`.
Text uniqueJoin(const Text& text, const Text& sep);

// Removes / \ : * ? < > | and the double quote (never a trail byte of a double-byte character).
void stripInvalidFileNameChars(Text& text);

// Local date with `datePicture` followed by local time with `timePicture`. Pictures:
// d dd ddd dddd, M MM MMM MMMM, y yy yyyy, h hh H HH, m mm, s ss, t tt, 'quoted text'.
// A picture shorter than 3 characters gives an empty part; force24h turns h into H and
// drops the AM/PM marker. "" when the value is not a representable local time.
Text formatLocalTime(std::time_t when, const Text& datePicture, const Text& timePicture, bool force24h);

// Decimal text of a number.
Text numberText(long long value);

} // namespace qingtong
