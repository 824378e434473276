#pragma once

#include <functional>

#include <QDialog>

#include "app/AppContext.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace qingtong {

// The settings window: the download folder and the per-author sub-folders. Only
// "保存并关闭" changes anything, in Config.ini and in memory together; the close box
// saves nothing.
class SettingsDialog : public QDialog {
    Q_OBJECT
public:
    // Asks for a folder; returns "" on cancel. The default is the desktop's folder browser.
    using FolderChooser = std::function<QString(QWidget* parent, const QString& current)>;

    SettingsDialog(AppContext& context, QWidget* parent = nullptr);

    void setFolderChooser(FolderChooser chooser);

    QLineEdit* folderEdit() const { return m_folderEdit; }
    QCheckBox* perAuthorBox() const { return m_perAuthorBox; }
    QPushButton* chooseButton() const { return m_chooseButton; }
    QPushButton* saveButton() const { return m_saveButton; }

    void chooseFolder();
    // Writes Config.ini and memory, then closes. False when Config.ini could not be written
    // (memory and the window are then left as they were).
    bool saveAndClose();

private:
    AppContext& m_context;
    FolderChooser m_chooser;
    QLineEdit* m_folderEdit = nullptr;
    QCheckBox* m_perAuthorBox = nullptr;
    QPushButton* m_chooseButton = nullptr;
    QPushButton* m_saveButton = nullptr;
};

// The default folder chooser: the folder browser titled "请选择视频保存路径".
QString browseForFolder(QWidget* parent, const QString& current);

} // namespace qingtong
