#pragma once

#include "platform/Text.h"

namespace qingtong {

// Size of the file at `path` as the file system has it now (a recording being written by
// another thread gives its current size). With `readable` off: bytes in decimal. With it on:
// the short size text ("512 B", "1.46 MB"). A missing or unreadable file gives "0" either way.
Text fileSizeText(const Text& path, bool readable);

} // namespace qingtong
