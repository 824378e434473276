#pragma once

#include <memory>

#include <QDialog>

#include "app/AppContext.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;

namespace qingtong {

class GuiRelay;
class WorkerThreads;

// The add window: the user pastes one monitored object per line and starts a batch.
//
// The batch runs on one of the main window's worker threads and outlives this window if
// it is closed meanwhile: it then goes on to its end, and its reports are dropped.
class AddObjectDialog : public QDialog {
    Q_OBJECT
public:
    AddObjectDialog(AppContext& context, WorkerThreads& workers, QWidget* parent = nullptr);
    ~AddObjectDialog() override;

    static QString instructionText();

    QPlainTextEdit* editor() const { return m_editor; }
    QPushButton* addButton() const { return m_addButton; }
    QLabel* stateLabel() const { return m_stateLabel; }
    QStatusBar* statusBar() const { return m_statusBar; }

    // Starts a batch over the editor's text (what the button does).
    void startBatch();

signals:
    void batchFinished(int success, int failure);

private:
    AppContext& m_context;
    WorkerThreads& m_workers;
    std::shared_ptr<GuiRelay> m_relay;
    QPlainTextEdit* m_editor = nullptr;
    QPushButton* m_addButton = nullptr;
    QLabel* m_stateLabel = nullptr;
    QStatusBar* m_statusBar = nullptr;
};

} // namespace qingtong
