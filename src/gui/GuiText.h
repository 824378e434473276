#pragma once

#include <QString>

#include "platform/Text.h"

namespace qingtong {

// The core speaks GBK; Qt speaks UTF-16. These are the only crossings between the two.
QString toQString(const Text& text);
// Characters that GBK lacks become "?".
Text fromQString(const QString& text);

} // namespace qingtong
