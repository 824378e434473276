#include <cstdio>
#include <cstdlib>
#include <string>

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>

#include "app/AppContext.h"
#include "app/Settings.h"
#include "gui/AppIcon.h"
#include "gui/GuiText.h"
#include "gui/MainWindow.h"
#include "monitor/MonitorController.h"
#include "platform/net/HttpSession.h"
#include "platform/runDirectory.h"

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("qingtong"));
    QApplication::setDesktopFileName(QStringLiteral("qingtong"));
    QApplication::setWindowIcon(qingtong::appIcon());

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
