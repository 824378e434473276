#include "platform/runDirectory.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/files.h"

namespace qingtong {
namespace {

// Absolute, without a trailing "/" (the root stays "/").
std::string cleanFolder(const std::string& folder)
{
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(folder, ec);
    if (ec)
        p = folder;
    std::string s = p.lexically_normal().string();
    while (s.size() > 1 && s.back() == '/')
        s.pop_back();
    return s;
}

// Makes the folder (with its missing parents) and says whether it is a usable folder.
bool ensureFolder(const std::string& folder)
{
    if (folder.empty())
        return false;
    Text path = textPath(folder);
    return createDirectoryPath(path, "/") >= 0;
}

} // namespace

Text executableDirectory()
{
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec || exe.empty())
        return {};
    return textPath(exe.parent_path().string());
}

Text resolveRunDirectory(const std::string& requested)
{
    if (!requested.empty()) {
        const std::string folder = cleanFolder(requested);
        return ensureFolder(folder) ? textPath(folder) : Text();
    }
    const Text exeDir = executableDirectory();
    if (!exeDir.empty() && ::access(nativePath(exeDir).c_str(), W_OK) == 0)
        return exeDir;
    std::string base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/')
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.local/share";
    else
        return {};
    const std::string folder = cleanFolder(base + "/qingtong");
    return ensureFolder(folder) ? textPath(folder) : Text();
}

} // namespace qingtong
