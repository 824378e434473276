#pragma once

#include "platform/Text.h"

namespace qingtong {

// The code pages the system converts between. Conversions always name one explicitly;
// there is no dependence on the process locale.
enum CodePage : int {
    Gbk = 936,     // code page 936 as Windows has it (0x80 is the euro sign)
    Utf8 = 65001,
};

// Multi-byte text in `codePage` to UTF-16. Bytes that are not valid in the code page become
// U+FFFD (one per bad byte, or one per unmapped double-byte pair); nothing is dropped.
// Zero bytes are converted like any other.
WideText toWide(const Text& text, CodePage codePage = Utf8);

// UTF-16 to multi-byte text in `codePage`. Characters the code page lacks (and unpaired
// surrogates) become "?". Zero units are converted like any other (nothing is cut off).
Text fromWide(const WideText& wide, CodePage codePage = Gbk);

// UTF-8 bytes to GBK and back. Pure ASCII passes through without conversion.
Text utf8ToAnsi(const Text& utf8);
Text ansiToUtf8(const Text& gbk);

} // namespace qingtong
