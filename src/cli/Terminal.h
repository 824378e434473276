#pragma once

#include <ostream>
#include <string>

#include "platform/Text.h"

namespace qingtong::cli {

// GBK text as UTF-8 for the terminal, with control characters (escape sequences, line
// breaks, tabs) shown as spaces, so a remote text can never steer the terminal or break
// a line of output.
std::string terminalText(const Text& gbk);

// Columns the UTF-8 text takes on a terminal (wide East Asian characters take two).
std::size_t displayWidth(const std::string& utf8);

// The text padded with spaces to `width` columns.
std::string padToWidth(const std::string& utf8, std::size_t width);

// Prints "qingtong-cli: MESSAGE" and the command's usage line; returns 2, the exit code
// of a bad argument.
int usageError(std::ostream& err, const char* usage, const std::string& message);

} // namespace qingtong::cli
