#pragma once

#include <functional>

#include <QString>

namespace qingtong {

// Shows a file in the desktop's file manager: its folder opened with the file selected.
class FileLocator {
public:
    // Opens the file manager on `path`; true when something was opened.
    using Opener = std::function<bool(const QString& path)>;

    // org.freedesktop.FileManager1.ShowItems over the session bus, without waiting for the
    // answer; when no file manager answers there, the folder is opened with the desktop's
    // default handler. GUI thread.
    static bool showInFileManager(const QString& path);

    FileLocator();
    explicit FileLocator(Opener opener);

    // Nothing happens (false) for an empty path or one that names nothing on disk.
    bool locate(const QString& path) const;

private:
    Opener m_opener;
};

} // namespace qingtong
