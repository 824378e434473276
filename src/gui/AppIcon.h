#pragma once

#include <QIcon>

namespace qingtong {

// The program's icon, drawn at run time (the installed SVG is the same picture).
QIcon appIcon();

} // namespace qingtong
