#pragma once

#include <chrono>
#include <memory>
#include <string>

#include <QAction>
#include <QString>
#include <QTemporaryDir>
#include <QTreeView>

#include "app/AppContext.h"
#include "gui/MainWindow.h"
#include "gui/MonitorListModel.h"
#include "monitor/MonitorController.h"
#include "platform/codePage.h"

namespace qingtong::guitest {

inline Text gbk(const char* utf8) { return utf8ToAnsi(utf8); }
inline QString u8(const char* utf8) { return QString::fromUtf8(utf8); }

// A run directory of its own, the context on it, a controller with short pacing and the
// real main window over them. Made and dropped in the order the program uses.
struct WindowRig {
    explicit WindowRig(MonitorOptions options = fastOptions());
    ~WindowRig();

    static MonitorOptions fastOptions();

    RowId addRow(const char* nickname, const char* account, const char* userId);
    Text file(const char* name) const;              // GBK path in the run directory
    std::string nativeFile(const char* name) const;

    QString shown(int row, int column) const;       // what the list shows
    void select(int row) const;
    QAction* tool(int index) const { return window->toolAction(index); }
    WorkerThreads& workers() const { return window->workers(); }

    QTemporaryDir dir;
    AppContext context;
    std::unique_ptr<MonitorController> controller;
    std::unique_ptr<MainWindow> window;
};

} // namespace qingtong::guitest
