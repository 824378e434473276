#include "GuiFixture.h"

#include <QItemSelectionModel>

namespace qingtong::guitest {

using namespace std::chrono_literals;

MonitorOptions WindowRig::fastOptions()
{
    MonitorOptions options;
    options.rowPause = 10ms;
    options.sweepPause = 200ms;
    options.stallTimeout = 5s;
    return options;
}

WindowRig::WindowRig(MonitorOptions options)
{
    context.runDirectory = utf8ToAnsi(dir.path().toStdString());
    context.settings.setDownloadFolder(context.runDirectory + "/Download");
    controller = std::make_unique<MonitorController>(context, options);
    window = std::make_unique<MainWindow>(context, *controller);
}

WindowRig::~WindowRig()
{
    window.reset();
    controller.reset();
}

RowId WindowRig::addRow(const char* nickname, const char* account, const char* userId)
{
    const RowId id = context.list.appendRow();
    const int row = context.list.indexOf(id);
    context.list.setCellById(id, CellSerial, std::to_string(row + 1));
    context.list.setCellById(id, CellNickname, gbk(nickname));
    context.list.setCellById(id, CellAccount, gbk(account));
    context.list.setCellById(id, CellUserId, gbk(userId));
    return id;
}

Text WindowRig::file(const char* name) const
{
    return context.runDirectory + "/" + name;
}

std::string WindowRig::nativeFile(const char* name) const
{
    return ansiToUtf8(file(name));
}

QString WindowRig::shown(int row, int column) const
{
    MonitorListModel* model = window->model();
    return model->data(model->index(row, column), Qt::DisplayRole).toString();
}

void WindowRig::select(int row) const
{
    QTreeView* list = window->listView();
    list->selectionModel()->clearSelection();
    if (row >= 0)
        list->selectionModel()->select(window->model()->index(row, 0),
                                       QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

} // namespace qingtong::guitest
