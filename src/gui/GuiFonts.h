#pragma once

#include <QFont>

namespace qingtong {

// "微软雅黑" where the machine has it, else a CJK sans font that renders Chinese.
QFont listFont();
// "微软雅黑 Light" likewise, for the promotional label.
QFont lightFont();

} // namespace qingtong
