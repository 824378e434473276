#include "gui/FileLocator.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace qingtong {

bool FileLocator::showInFileManager(const QString& path)
{
    const QFileInfo info(path);
    const QString folder = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));

    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(info.absoluteFilePath()).toString()} << QString();
    // Asynchronous: a file manager that is started by the call may take seconds to answer,
    // and the window must not wait for it. Without one, the folder opens the plain way.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 10000));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [watcher, folder] {
        if (watcher->isError())
            QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
        watcher->deleteLater();
    });
    return true;
}

FileLocator::FileLocator()
    : m_opener(&FileLocator::showInFileManager)
{
}

FileLocator::FileLocator(Opener opener)
    : m_opener(opener ? std::move(opener) : Opener(&FileLocator::showInFileManager))
{
}

bool FileLocator::locate(const QString& path) const
{
    if (path.isEmpty() || !QFileInfo::exists(path))
        return false;
    return m_opener(path);
}

} // namespace qingtong
