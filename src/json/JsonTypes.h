#pragma once

#include <cstdint>
#include <string>

namespace qingtong {

// The same aliases as platform/Text.h; repeated here so that the JSON library stands alone.
using Text = std::string;       // bytes in code page 936 (GBK)
using WideText = std::u16string; // UTF-16

// Type codes as the public methods pass and return them.
enum JsonType : int {
    JsonMissing = -1, // only as the answer of a type query: nothing at the path
    JsonNull = 0,
    JsonReal = 1,
    JsonInteger = 2,
    JsonBoolean = 3,
    JsonString = 4,
    JsonArray = 5,
    JsonObject = 6,
};

enum ParseError : int {
    ParseOk = 0,
    ParseNoText = -2,     // no node to fill, empty text, or no terminator
    ParseNoMemory = -3,   // allocation or linking failed
    ParseStructure = -4,  // container or key where none may stand
    ParseUnclosed = -5,   // the text ended with a container open
    ParseBadToken = -6,   // not a string, number, true, false or null
    ParseOpenQuote = -7,  // the text ended inside quotes
};

// Bits of the parse mode.
enum ParseMode : int {
    DecodeUnicodeEscapes = 1, // turn \uXXXX into the unit it names
    IgnoreOuterText = 2,      // skip text outside the top-level container (JSONP wrappers)
};

} // namespace qingtong
