#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/codePage.h"
#include "platform/textRoutines.h"

namespace qingtong {
namespace {

// Owns a file descriptor.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    // Closes now and says whether the close succeeded (it may report a late write error).
    bool close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int m_fd;
};

bool writeAll(int fd, const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

void syncFolder(const std::string& folder)
{
    FileDescriptor fd(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid())
        ::fsync(fd.get());
}

bool statPath(const Text& path, struct stat& st)
{
    if (path.empty())
        return false;
    return ::stat(nativePath(path).c_str(), &st) == 0;
}

} // namespace

std::string nativePath(const Text& path) { return ansiToUtf8(path); }

Text textPath(const std::string& native) { return utf8ToAnsi(native); }

bool readWholeFile(const Text& path, Bytes& out)
{
    out.clear();
    FileDescriptor fd(::open(nativePath(path).c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid())
        return false;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    try {
        out.reserve(static_cast<std::size_t>(st.st_size));
        std::uint8_t buffer[65536];
        for (;;) {
            const ssize_t n = ::read(fd.get(), buffer, sizeof(buffer));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                out.clear();
                return false;
            }
            if (n == 0)
                break;
            out.insert(out.end(), buffer, buffer + n);
        }
    } catch (const std::bad_alloc&) {
        out.clear();
        return false;
    }
    return true;
}

Text readTextFile(const Text& path)
{
    Bytes bytes;
    if (!readWholeFile(path, bytes))
        return {};
    return toText(bytes);
}

bool writeWholeFile(const Text& path, const Bytes& data)
{
    if (path.empty())
        return false;
    const std::string target = nativePath(path);
    std::string temp = target + ".tmp.XXXXXX";
    FileDescriptor fd(::mkstemp(temp.data()));
    if (!fd.valid())
        return false;
    mode_t mode = 0644;
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0)
        mode = st.st_mode & 07777;
    const bool written = ::fchmod(fd.get(), mode) == 0 && writeAll(fd.get(), data.data(), data.size())
                         && ::fsync(fd.get()) == 0 && fd.close();
    if (!written || ::rename(temp.c_str(), target.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    const std::size_t slash = target.rfind('/');
    syncFolder(slash == std::string::npos ? std::string() : slash == 0 ? "/" : target.substr(0, slash));
    return true;
}

bool writeTextFile(const Text& path, const Text& data) { return writeWholeFile(path, toBytes(data)); }

bool pathExists(const Text& path)
{
    struct stat st {};
    return statPath(path, st);
}

bool isDirectory(const Text& path)
{
    struct stat st {};
    return statPath(path, st) && S_ISDIR(st.st_mode);
}

bool isRegularFile(const Text& path)
{
    struct stat st {};
    return statPath(path, st) && S_ISREG(st.st_mode);
}

std::int64_t fileSize(const Text& path)
{
    struct stat st {};
    if (!statPath(path, st) || !S_ISREG(st.st_mode))
        return -1;
    return static_cast<std::int64_t>(st.st_size);
}

bool createDirectory(const Text& path)
{
    return !path.empty() && ::mkdir(nativePath(path).c_str(), 0755) == 0;
}

bool removeFile(const Text& path)
{
    const std::string native = nativePath(path);
    struct stat st {};
    if (::lstat(native.c_str(), &st) != 0)
        return errno == ENOENT;
    if (S_ISDIR(st.st_mode))
        return false;
    return ::unlink(native.c_str()) == 0;
}

bool removeDirectoryTree(const Text& path)
{
    if (path.empty())
        return false;
    std::error_code ec;
    const std::filesystem::path native(nativePath(path));
    if (!std::filesystem::is_directory(std::filesystem::symlink_status(native, ec)))
        return false;
    std::filesystem::remove_all(native, ec);
    return !ec && !std::filesystem::exists(std::filesystem::symlink_status(native, ec));
}

Text parentFolder(const Text& path)
{
    const std::size_t slash = path.rfind('/');  // "/" is never a trail byte in GBK
    if (slash == Text::npos)
        return {};
    return slash == 0 ? Text("/") : path.substr(0, slash);
}

bool isAbsolutePath(const Text& path) { return !path.empty() && path[0] == '/'; }

int createDirectoryPath(Text& path, const Text& runDirectory)
{
    if (!isAbsolutePath(path))
        path = runDirectory + "/" + path;
    if (trimBlanks(path).empty())
        return -1;
    if (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (isDirectory(path)) {
        if (path.back() != '/')
            path += '/';
        return 0;
    }
    const std::vector<Text> levels = splitText(path, "/");
    Text current = levels.empty() ? Text() : levels[0];  // "" for an absolute path: the root
    std::vector<Text> created;                           // the levels this call made, in order
    for (std::size_t i = 1; i < levels.size(); ++i) {
        current += "/";
        current += levels[i];
        if (levels[i].empty() || isDirectory(current))
            continue;
        const bool made = ::mkdir(nativePath(current).c_str(), 0755) == 0;
        if (made) {
            created.push_back(current);
        } else if (errno != EEXIST || !isDirectory(current)) {
            // Undo, deepest first; rmdir only removes a folder that is still empty.
            for (auto it = created.rbegin(); it != created.rend(); ++it)
                ::rmdir(nativePath(*it).c_str());
            return -1;
        }
    }
    path += '/';
    return created.empty() ? 0 : 1;
}

} // namespace qingtong
