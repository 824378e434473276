#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QLibraryInfo>
#include <QSocketNotifier>
#include <QTranslator>

#include "app/AppContext.h"
#include "app/Settings.h"
#include "gui/AppIcon.h"
#include "gui/GuiText.h"
#include "gui/MainWindow.h"
#include "monitor/MonitorController.h"
#include "platform/net/HttpSession.h"
#include "platform/runDirectory.h"

namespace {

int g_signalPipe[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
}

// SIGTERM, SIGINT and SIGHUP (a logout, a kill, Ctrl+C in the terminal) close the window
// the ordinary way, so the list is saved and every recording file is closed cleanly.
void closeOnTerminationSignals(QWidget& window)
{
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
        char buffer[16];
        while (::read(g_signalPipe[0], buffer, sizeof buffer) > 0) {
        }
        window.close();
    });
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("qingtong"));
    QApplication::setDesktopFileName(QStringLiteral("qingtong"));
    QApplication::setWindowIcon(qingtong::appIcon());

    // The window speaks Chinese whatever the desktop's locale, so Qt's own dialogs (the folder
    // browser, message box buttons) do too when the translation is installed.
    QTranslator qtTranslator;
    if (qtTranslator.load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslator);

    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption dirOption(QStringLiteral("dir"),
                                       QStringLiteral("Folder of Config.ini, userList.txt and the recordings."),
                                       QStringLiteral("DIR"));
    parser.addOption(dirOption);
    parser.process(app);

    const qingtong::Text runDirectory = qingtong::resolveRunDirectory(parser.value(dirOption).toStdString());
    if (runDirectory.empty()) {
        std::fprintf(stderr, "qingtong: no usable run directory (try --dir DIR)\n");
        return 1;
    }

    const qingtong::ServiceConfig config = qingtong::loadServiceConfig(runDirectory);
    qingtong::setServiceConfig(config);
    qingtong::net::setStrictTls(config.strictTls);

    qingtong::AppContext context;
    context.runDirectory = runDirectory;
    qingtong::MonitorController controller(context);
    qingtong::MainWindow window(context, controller);
    closeOnTerminationSignals(window);
    window.show();
    window.start();

    const int result = QApplication::exec();
    // Closing the window has ended monitoring and saved the list already.
    window.shutdown();
    if (window.backgroundWorkPending()) {
        // An add batch or a picture fetch still waits on the network. The list is saved and
        // every recording is closed, so the process ends now instead of waiting for it.
        std::fflush(nullptr);
        std::_Exit(result);
    }
    return result;
}
