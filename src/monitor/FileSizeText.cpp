#include "monitor/FileSizeText.h"

#include "platform/byteSize.h"
#include "platform/files.h"

namespace qingtong {

Text fileSizeText(const Text& path, bool readable)
{
    const std::int64_t size = fileSize(path);
    if (size <= 0)
        return "0";
    return readable ? formatByteSize(size) : std::to_string(size);
}

} // namespace qingtong
