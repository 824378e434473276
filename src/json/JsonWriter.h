#pragma once

#include "json/ValueTree.h"

namespace qingtong::jsontree {

// Writes node as JSON text into out (appending). Numbers come out as their literals, so a
// parsed number is written as it was read. With pretty, object members stand on their own
// lines (CR LF, one TAB per level); arrays always stay on one line. With escape, strings get
// backslash escapes for backslash, quote, BS, TAB, LF, FF and CR (names also for "/").
void writeJson(const ValueNode* node, bool pretty, bool escape, std::u16string& out);

} // namespace qingtong::jsontree
