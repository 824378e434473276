#include "platform/byteSize.h"

#include <cstdio>

namespace qingtong {

Text formatByteSize(std::int64_t bytes)
{
    if (bytes < 1024)
        return std::to_string(bytes < 0 ? 0 : bytes) + " B";
    static const char* const units[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    int unit = 0;
    // Hundredths of the unit, kept as integers so nothing is rounded up.
    std::uint64_t scaled = static_cast<std::uint64_t>(bytes);
    std::uint64_t divisor = 1024;
    while (scaled / divisor >= 1024 && unit < 5) {
        divisor *= 1024;
        ++unit;
    }
    const std::uint64_t whole = scaled / divisor;
    const std::uint64_t hundredths = (scaled % divisor) * 100 / divisor;
    char buffer[32];
    if (whole < 10)
        std::snprintf(buffer, sizeof(buffer), "%llu.%02llu %s", static_cast<unsigned long long>(whole),
                      static_cast<unsigned long long>(hundredths), units[unit]);
    else if (whole < 100)
        std::snprintf(buffer, sizeof(buffer), "%llu.%llu %s", static_cast<unsigned long long>(whole),
                      static_cast<unsigned long long>(hundredths / 10), units[unit]);
    else
        std::snprintf(buffer, sizeof(buffer), "%llu %s", static_cast<unsigned long long>(whole), units[unit]);
    return buffer;
}

} // namespace qingtong
