#pragma once

#include <functional>
#include <memory>
#include <thread>

#include <QImage>
#include <QMainWindow>

#include "app/AppContext.h"
#include "gui/FileLocator.h"
#include "gui/WorkerThreads.h"

class QAction;
class QLabel;
class QMenu;
class QStatusBar;
class QToolBar;
class QTreeView;

namespace qingtong {

class GuiRelay;
class GuiStatusSink;
class MonitorController;
class MonitorListModel;

// The main window: toolbar, the list of monitored objects, status bar, pop-up menu and the
// promotional picture. A thin shell: every command is a call into the core.
//
// The window lives on the GUI thread. Worker threads reach it only through queued calls
// (the list model's change inbox, the status sink, the picture fetch); none of them
// touches a widget.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // Toolbar entries by index, separators included.
    enum ToolIndex { ToolAdd = 0, ToolSettings = 2, ToolStart = 4, ToolStop = 5, ToolCount = 7 };
    // Pop-up menu items by index, separators included.
    enum MenuIndex { MenuCopy = 0, MenuDelete = 2, MenuStopDownload = 4, MenuLocate = 6 };

    using FolderChooser = std::function<QString(QWidget* parent, const QString& current)>;

    // The context's status sink is set to this window's status bar for the window's life.
    // Both the context and the controller must outlive the window.
    MainWindow(AppContext& context, MonitorController& controller, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The work once the window exists: start-up load on its own thread, the promotional
    // picture and the hidden page, both fetched off the GUI thread. Returns at once.
    void start();

    QAction* toolAction(int index) const;      // null for an index out of range
    QAction* menuAction(int index) const;
    QMenu* popupMenu() const { return m_menu; }
    QTreeView* listView() const { return m_list; }
    MonitorListModel* model() const { return m_model; }
    QString statusText() const;
    // GUI thread: shows a status text (the status sink queues its texts here).
    void applyStatus(const QString& text);

    // Tests replace what opens the file manager and what asks for a folder.
    void setFileOpener(FileLocator::Opener opener);
    void setFolderChooser(FolderChooser chooser);

    // The window's background threads; the add window runs its batches on them.
    WorkerThreads& workers() { return m_workers; }
    // Threads still busy (start-up load, add batches, picture fetch).
    bool backgroundWorkPending() const;
    void waitForBackgroundWork();

    // Hides the window, ends monitoring and every recording, saves the list. Runs once;
    // closing the window runs it.
    void shutdown();

public slots:
    void toolClicked(int index);
    void menuCommand(int index);

signals:
    void statusChanged(const QString& text);
    // The promotional step has ended: shown tells whether a picture name was found.
    void promoFinished(bool shown);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildToolbar();
    void buildList();
    void buildMenu();
    void buildSidePanel();
    void setStatus(const QString& text);
    void startMonitoring();
    void stopMonitoring();
    void openAddWindow();
    void openSettingsWindow();
    RowId selectedRowId() const;
    void showPromoLabel();
    void showPromoPicture(const QImage& image);
    void startPromoFetch();

    AppContext& m_context;
    MonitorController& m_controller;
    std::shared_ptr<GuiRelay> m_relay;
    std::unique_ptr<GuiStatusSink> m_statusSink;
    StatusSink* m_previousSink = nullptr;
    FileLocator m_locator;
    FolderChooser m_folderChooser;

    QToolBar* m_toolbar = nullptr;
    QTreeView* m_list = nullptr;
    MonitorListModel* m_model = nullptr;
    QStatusBar* m_statusBar = nullptr;
    QLabel* m_statusLabel = nullptr;
    QMenu* m_menu = nullptr;
    QLabel* m_picture = nullptr;
    QLabel* m_promoLabel = nullptr;
    QWidget* m_browser = nullptr;

    bool m_sizedToFrame = false;
    bool m_started = false;
    bool m_shutDown = false;
    std::thread m_startupThread;
    WorkerThreads m_workers;  // last: joined before anything above goes
};

} // namespace qingtong
