#include "gui/MainWindow.h"

#include <system_error>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QPixmap>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QTreeView>

#include "app/Settings.h"
#include "gui/AddObjectDialog.h"
#include "gui/GuiFonts.h"
#include "gui/GuiRelay.h"
#include "gui/GuiText.h"
#include "gui/MessageBox.h"
#include "gui/MonitorListModel.h"
#include "gui/PromoPicture.h"
#include "gui/SettingsDialog.h"
#include "monitor/MonitorController.h"

namespace qingtong {

namespace {

const QSize kOuterSize(1186, 592);
const QPoint kPosition(50, 50);
constexpr int kSidePanelWidth = 255;

const char* const kTitle = "青桐抖音直播间实时监控下载(免费永久版)";
const char* const kPromoText =
    "   纯带货交流群（禁止广告）\n\n   禁止割韭菜（纯交流）\n\n要的是抖音圈子！我们不做韭菜";

const char* const kStatusStopFailed = "当前状态 -> 监控任务停止失败。";
const char* const kAskStop = "停止监控后将终止所有正在下载的任务，确认要停止监控？";
const char* const kAskDelete = "删除对象后将从配置中移出，确认要删除该对象？";
const char* const kNotDownloading = "该对象未在下载状态，无需停止。";

QString u8(const char* text)
{
    return QString::fromUtf8(text);
}

} // namespace

// Status texts from any thread, shown in the status bar in the order they were set.
class GuiStatusSink : public StatusSink {
public:
    GuiStatusSink(std::shared_ptr<GuiRelay> relay, MainWindow* window)
        : m_relay(std::move(relay))
        , m_window(window)
    {
    }

    void setStatus(const Text& text) override
    {
        MainWindow* window = m_window;
        const QString shown = toQString(text);
        m_relay->post([window, shown] { window->applyStatus(shown); });
    }

private:
    std::shared_ptr<GuiRelay> m_relay;
    MainWindow* m_window;
};

MainWindow::MainWindow(AppContext& context, MonitorController& controller, QWidget* parent)
    : QMainWindow(parent)
    , m_context(context)
    , m_controller(controller)
    , m_relay(GuiRelay::create(this))
{
    setWindowTitle(u8(kTitle));
    setObjectName(QStringLiteral("mainWindow"));

    buildToolbar();
    buildList();
    buildMenu();
    buildSidePanel();

    m_statusBar = new QStatusBar(this);
    m_statusBar->setObjectName(u8("状态条1"));
    m_statusBar->setSizeGripEnabled(false);
    m_statusBar->setFont(listFont());
    m_statusLabel = new QLabel(m_statusBar);
    m_statusLabel->setObjectName(QStringLiteral("statusText"));
    m_statusBar->addWidget(m_statusLabel, 1);
    setStatusBar(m_statusBar);

    m_statusSink = std::make_unique<GuiStatusSink>(m_relay, this);
    m_previousSink = m_context.status;
    m_context.status = m_statusSink.get();

    move(kPosition);
    resize(kOuterSize);
}

MainWindow::~MainWindow()
{
    // Nothing may report to this window once it starts to go.
    shutdown();
    m_workers.joinAll();
    m_relay->detach();
    m_context.status = m_previousSink;
}

void MainWindow::buildToolbar()
{
    m_toolbar = new QToolBar(u8("工具条1"), this);
    m_toolbar->setObjectName(u8("工具条1"));
    m_toolbar->setMovable(false);
    m_toolbar->setFloatable(false);
    m_toolbar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_toolbar->setFont(listFont());
    m_toolbar->setContextMenuPolicy(Qt::PreventContextMenu);

    QAction* add = m_toolbar->addAction(style()->standardIcon(QStyle::SP_FileDialogNewFolder), u8("添加监控对象"));
    m_toolbar->addSeparator();
    QAction* settings =
        m_toolbar->addAction(style()->standardIcon(QStyle::SP_FileDialogDetailedView), u8("监控设置"));
    m_toolbar->addSeparator();
    QAction* start = m_toolbar->addAction(style()->standardIcon(QStyle::SP_MediaPlay), u8("开始监控"));
    QAction* stop = m_toolbar->addAction(style()->standardIcon(QStyle::SP_MediaStop), u8("停止监控"));
    m_toolbar->addSeparator();

    // The add and settings buttons show as pressed while their window is open.
    add->setCheckable(true);
    settings->setCheckable(true);
    start->setCheckable(true);
    stop->setEnabled(false);

    const QList<QAction*> actions = m_toolbar->actions();
    for (int i = 0; i < actions.size(); ++i) {
        if (!actions[i]->isSeparator())
            connect(actions[i], &QAction::triggered, this, [this, i] { toolClicked(i); });
    }
    addToolBar(Qt::TopToolBarArea, m_toolbar);
}

void MainWindow::buildList()
{
    auto* central = new QWidget(this);
    auto* layout = new QHBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(5);

    m_list = new QTreeView(central);
    m_list->setObjectName(u8("超级列表框1"));
    m_list->setFont(listFont());
    m_list->setRootIsDecorated(false);
    m_list->setItemsExpandable(false);
    m_list->setUniformRowHeights(true);
    m_list->setAllColumnsShowFocus(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);

    m_model = new MonitorListModel(m_context.list, this);
    m_list->setModel(m_model);
    m_list->header()->setStretchLastSection(false);
    m_list->header()->setSectionsMovable(false);
    for (int c = 0; c < MonitorListModel::kColumnCount; ++c)
        m_list->setColumnWidth(c, MonitorListModel::columnWidth(c));

    connect(m_list, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        const QModelIndex index = m_list->indexAt(pos);
        if (index.isValid())
            m_list->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        m_menu->popup(m_list->viewport()->mapToGlobal(pos));
    });

    layout->addWidget(m_list, 1);
    setCentralWidget(central);
}

void MainWindow::buildMenu()
{
    m_menu = new QMenu(this);
    m_menu->setObjectName(u8("菜单"));
    m_menu->addAction(u8("复制直播源"));
    m_menu->addSeparator();
    m_menu->addAction(u8("删除对象"));
    m_menu->addSeparator();
    m_menu->addAction(u8("停止下载"));
    m_menu->addSeparator();
    m_menu->addAction(u8("定位文件"));
    const QList<QAction*> actions = m_menu->actions();
    for (int i = 0; i < actions.size(); ++i) {
        if (!actions[i]->isSeparator())
            connect(actions[i], &QAction::triggered, this, [this, i] { menuCommand(i); });
    }
}

void MainWindow::buildSidePanel()
{
    auto* panel = new QWidget(centralWidget());
    panel->setObjectName(QStringLiteral("sidePanel"));
    panel->setFixedWidth(kSidePanelWidth);

    m_picture = new QLabel(panel);
    m_picture->setObjectName(u8("图片框1"));
    m_picture->setGeometry(5, 0, 240, 240);
    m_picture->setAlignment(Qt::AlignCenter);
    m_picture->hide();

    m_promoLabel = new QLabel(u8(kPromoText), panel);
    m_promoLabel->setObjectName(u8("透明标签1"));
    m_promoLabel->setGeometry(21, 272, 216, 168);
    m_promoLabel->setAttribute(Qt::WA_TranslucentBackground);
    m_promoLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_promoLabel->setFont(lightFont());
    m_promoLabel->hide();

    // Lies beyond the right edge and is never seen; only its page is fetched.
    m_browser = new QWidget(panel);
    m_browser->setObjectName(u8("超文本浏览框1"));
    m_browser->setGeometry(kSidePanelWidth + 6, 88, 144, 280);
    m_browser->hide();

    centralWidget()->layout()->addWidget(panel);
}

void MainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (m_sizedToFrame)
        return;
    m_sizedToFrame = true;
    // The size is that of the outer frame; resize() sets the inner one.
    const QSize frame = frameGeometry().size() - geometry().size();
    if (frame.width() > 0 || frame.height() > 0)
        resize(kOuterSize - frame);
}

void MainWindow::start()
{
    if (m_started)
        return;
    m_started = true;
    AppContext* context = &m_context;
    try {
        m_startupThread = std::thread([context] { startupLoad(*context); });
    } catch (const std::system_error&) {
        // Without a thread the load runs here: slower to show, but nothing is lost.
        startupLoad(*context);
    }
    startPromoFetch();
}

void MainWindow::startPromoFetch()
{
    const ServiceConfig config = serviceConfig();
    if (!config.browserPage.empty()) {
        const Text page = config.browserPage;
        m_workers.start([page] { fetchBody(page); });
    }
    if (config.promoDocument.empty() || config.pictureHost.empty()) {
        emit promoFinished(false);
        return;
    }
    const Text document = config.promoDocument;
    const Text host = config.pictureHost;
    std::shared_ptr<GuiRelay> relay = m_relay;
    const bool started = m_workers.start([this, relay, document, host] {
        const Text name = fetchPromoPictureName(document);
        if (name.empty()) {
            relay->post([this] { emit promoFinished(false); });
            return;
        }
        relay->post([this] { showPromoLabel(); });
        const Bytes body = fetchBody(promoPictureUrl(host, name));
        // Decoding is done here too, so that a large or broken picture never stalls the window.
        QImage image;
        if (!body.empty())
            image.loadFromData(body.data(), static_cast<int>(body.size()));
        if (!image.isNull())
            image = image.scaled(240, 240, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        relay->post([this, image] {
            showPromoPicture(image);
            emit promoFinished(true);
        });
    });
    if (!started)
        emit promoFinished(false);
}

void MainWindow::showPromoLabel()
{
    m_promoLabel->show();
    m_picture->show();
}

void MainWindow::showPromoPicture(const QImage& image)
{
    if (image.isNull())
        m_picture->clear();
    else
        m_picture->setPixmap(QPixmap::fromImage(image));
}

QAction* MainWindow::toolAction(int index) const
{
    const QList<QAction*> actions = m_toolbar->actions();
    return index >= 0 && index < actions.size() ? actions[index] : nullptr;
}

QAction* MainWindow::menuAction(int index) const
{
    const QList<QAction*> actions = m_menu->actions();
    return index >= 0 && index < actions.size() ? actions[index] : nullptr;
}

QString MainWindow::statusText() const
{
    return m_statusLabel->text();
}

void MainWindow::applyStatus(const QString& text)
{
    m_statusLabel->setText(text);
    emit statusChanged(text);
}

void MainWindow::setStatus(const QString& text)
{
    // Through the sink, so that the window's own texts keep their order among those of
    // the worker threads.
    m_statusSink->setStatus(fromQString(text));
}

void MainWindow::setFileOpener(FileLocator::Opener opener)
{
    m_locator = FileLocator(std::move(opener));
}

void MainWindow::setFolderChooser(FolderChooser chooser)
{
    m_folderChooser = std::move(chooser);
}

bool MainWindow::backgroundWorkPending() const
{
    return m_workers.running() > 0;
}

void MainWindow::waitForBackgroundWork()
{
    m_workers.joinAll();
}

void MainWindow::toolClicked(int index)
{
    switch (index) {
    case ToolAdd:
        openAddWindow();
        break;
    case ToolSettings:
        openSettingsWindow();
        break;
    case ToolStart:
        startMonitoring();
        break;
    case ToolStop:
        stopMonitoring();
        break;
    default:
        break;
    }
}

void MainWindow::openAddWindow()
{
    QAction* button = toolAction(ToolAdd);
    button->setChecked(true);
    {
        AddObjectDialog dialog(m_context, m_workers, this);
        dialog.exec();
    }
    button->setChecked(false);
}

void MainWindow::openSettingsWindow()
{
    QAction* button = toolAction(ToolSettings);
    button->setChecked(true);
    {
        SettingsDialog dialog(m_context, this);
        if (m_folderChooser)
            dialog.setFolderChooser(m_folderChooser);
        dialog.exec();
    }
    button->setChecked(false);
}

void MainWindow::startMonitoring()
{
    QAction* start = toolAction(ToolStart);
    QAction* stop = toolAction(ToolStop);
    // The start button belongs to a check group: a click never unchecks it. While the
    // monitor runs, a further click changes nothing, so there is never a second monitor.
    if (m_controller.isMonitoring()) {
        start->setChecked(true);
        return;
    }
    start->setChecked(true);
    // The controller reports each outcome in the status bar.
    switch (m_controller.startMonitoring()) {
    case StartResult::Started:
    case StartResult::AlreadyRunning:
        stop->setEnabled(true);
        break;
    case StartResult::EmptyList:
    case StartResult::Failed:
        start->setChecked(false);
        break;
    }
}

void MainWindow::stopMonitoring()
{
    if (!MessageBox::askYesNo(this, u8(kAskStop)))
        return;
    // The controller reports a successful stop in the status bar itself.
    if (m_controller.stopMonitoring()) {
        toolAction(ToolStart)->setChecked(false);
        toolAction(ToolStop)->setEnabled(false);
    } else {
        setStatus(u8(kStatusStopFailed));
    }
}

RowId MainWindow::selectedRowId() const
{
    const QModelIndexList rows = m_list->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return 0;
    return m_model->idAt(rows.first().row());
}

void MainWindow::menuCommand(int index)
{
    const RowId id = selectedRowId();
    if (id == 0)
        return;
    switch (index) {
    case MenuCopy: {
        const Text address = m_controller.streamAddress(id);
        if (!address.empty())
            QApplication::clipboard()->setText(toQString(address));
        break;
    }
    case MenuDelete:
        if (MessageBox::askYesNo(this, u8(kAskDelete)))
            m_controller.deleteRow(id);
        break;
    case MenuStopDownload:
        if (m_controller.stopDownload(id) == StopDownloadResult::NotRecording)
            MessageBox::inform(this, u8(kNotDownloading));
        break;
    case MenuLocate: {
        const Text path = m_controller.locateFilePath(id);
        if (!path.empty())
            m_locator.locate(toQString(path));
        break;
    }
    default:
        break;
    }
}

void MainWindow::shutdown()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    hide();
    m_controller.shutdown();
    // The start-up load must have ended, or the rows it had not read yet would be lost
    // from userList.txt by the save below.
    if (m_startupThread.joinable())
        m_startupThread.join();
    saveMonitorList(m_context);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    shutdown();
    event->accept();
}

} // namespace qingtong
