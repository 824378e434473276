#pragma once

#include <cstddef>

#include "json/ValueTree.h"

namespace qingtong::jsontree {

// Parses UTF-16 text (length units, followed by a NUL) into node, which is reset first and
// reset to Null again on failure. Returns a ParseError; errorPos is the position in units
// where the parse stopped (0 on success). The parse keeps its container stack on the heap,
// so any depth of nesting is handled.
int parseInto(ValueNode* node, const char16_t* text, std::size_t length, int mode, int& errorPos);

// Unescapes a key or a quoted token (see the parser); out must hold length units.
// Returns the number of units written.
std::size_t unescape(const char16_t* text, std::size_t length, bool decodeUnicode, char16_t* out);

} // namespace qingtong::jsontree
