#include "gui/FileLocator.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace qingtong {

bool FileLocator::showInFileManager(const QString& path)
{
    const QFileInfo info(path);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
            QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
        call << QStringList{QUrl::fromLocalFile(info.absoluteFilePath()).toString()} << QString();
        // A short wait: a desktop without a file manager service answers with an error at once.
        const QDBusMessage reply = bus.call(call, QDBus::Block, 5000);
        if (reply.type() == QDBusMessage::ReplyMessage)
            return true;
    }
    const QString folder = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
    return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
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
