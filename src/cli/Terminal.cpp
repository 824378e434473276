#include "cli/Terminal.h"

#include "platform/codePage.h"

namespace qingtong::cli {
namespace {

bool isWide(char32_t cp)
{
    return (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0x303E) || (cp >= 0x3041 && cp <= 0x33FF)
           || (cp >= 0x3400 && cp <= 0x4DBF) || (cp >= 0x4E00 && cp <= 0x9FFF) || (cp >= 0xA000 && cp <= 0xA4CF)
           || (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) || (cp >= 0xFE30 && cp <= 0xFE4F)
           || (cp >= 0xFF00 && cp <= 0xFF60) || (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x1F300 && cp <= 0x1F64F)
           || (cp >= 0x1F900 && cp <= 0x1F9FF) || (cp >= 0x20000 && cp <= 0x3FFFD);
}

} // namespace

std::string terminalText(const Text& gbk)
{
    std::string utf8 = ansiToUtf8(gbk);
    for (char& c : utf8) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F)
            c = ' ';
    }
    return utf8;
}

std::size_t displayWidth(const std::string& utf8)
{
    std::size_t width = 0;
    const WideText wide = toWide(utf8, Utf8);
    for (std::size_t i = 0; i < wide.size(); ++i) {
        char32_t cp = wide[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < wide.size()) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (wide[i + 1] - 0xDC00);
            ++i;
        }
        width += isWide(cp) ? 2 : 1;
    }
    return width;
}

std::string padToWidth(const std::string& utf8, std::size_t width)
{
    const std::size_t used = displayWidth(utf8);
    return used >= width ? utf8 : utf8 + std::string(width - used, ' ');
}

int usageError(std::ostream& err, const char* usage, const std::string& message)
{
    err << "qingtong-cli: " << message << "\nusage: qingtong-cli [--dir DIR] " << usage << '\n';
    return 2;
}

} // namespace qingtong::cli
