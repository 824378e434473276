#include "gui/SettingsDialog.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "gui/GuiFonts.h"
#include "gui/GuiText.h"
#include "gui/MessageBox.h"
#include "app/Persistence.h"

namespace qingtong {

namespace {

const QSize kOuterSize(453, 196);

} // namespace

QString browseForFolder(QWidget* parent, const QString& current)
{
    return QFileDialog::getExistingDirectory(parent, QStringLiteral("请选择视频保存路径"), current,
                                             QFileDialog::ShowDirsOnly);
}

SettingsDialog::SettingsDialog(AppContext& context, QWidget* parent)
    : QDialog(parent)
    , m_context(context)
    , m_chooser(&browseForFolder)
{
    setWindowTitle(QStringLiteral("监控设置"));
    setObjectName(QStringLiteral("监控设置"));
    setWindowModality(Qt::ApplicationModal);
    setFixedSize(kOuterSize);
    setFont(listFont());

    auto* label = new QLabel(QStringLiteral("下载保存路径"), this);
    label->setObjectName(QStringLiteral("标签1"));
    label->setGeometry(4, 12, 92, 20);

    m_folderEdit = new QLineEdit(this);
    m_folderEdit->setObjectName(QStringLiteral("编辑框_保存路径"));
    m_folderEdit->setGeometry(82, 6, 290, 28);

    m_chooseButton = new QPushButton(QStringLiteral("选择目录"), this);
    m_chooseButton->setObjectName(QStringLiteral("按钮1"));
    m_chooseButton->setGeometry(378, 8, 64, 25);
    m_chooseButton->setAutoDefault(false);

    m_perAuthorBox = new QCheckBox(QStringLiteral("下载时根据作者昵称生成单独目录"), this);
    m_perAuthorBox->setObjectName(QStringLiteral("选择框1"));
    m_perAuthorBox->setGeometry(3, 47, 285, 18);

    m_saveButton = new QPushButton(QStringLiteral("保存并关闭"), this);
    m_saveButton->setObjectName(QStringLiteral("按钮_保存"));
    m_saveButton->setGeometry(158, 128, 131, 32);
    m_saveButton->setAutoDefault(false);

    // The window shows what memory holds; the file is not read again.
    m_folderEdit->setText(toQString(m_context.settings.downloadFolder()));
    m_perAuthorBox->setChecked(m_context.settings.perAuthorFolders());

    connect(m_chooseButton, &QPushButton::clicked, this, &SettingsDialog::chooseFolder);
    connect(m_saveButton, &QPushButton::clicked, this, &SettingsDialog::saveAndClose);
}

void SettingsDialog::setFolderChooser(FolderChooser chooser)
{
    m_chooser = chooser ? std::move(chooser) : FolderChooser(&browseForFolder);
}

void SettingsDialog::chooseFolder()
{
    const QString folder = m_chooser(this, m_folderEdit->text());
    if (!folder.isEmpty())
        m_folderEdit->setText(folder);
}

bool SettingsDialog::saveAndClose()
{
    // Stored exactly as typed: not trimmed, not checked, nothing created.
    const Text folder = fromQString(m_folderEdit->text());
    const bool perAuthor = m_perAuthorBox->isChecked();
    // Key `save`, then key `folder` ("真" / "假") of section softSet; the rest of the file stays.
    const bool written = saveSettings(m_context.runDirectory, folder, perAuthor);
    m_context.settings.setDownloadFolder(folder);
    m_context.settings.setPerAuthorFolders(perAuthor);
    if (!written) {
        // The choice holds for this run; the user must know that it will not survive it.
        MessageBox::inform(this, QStringLiteral("无法写入配置文件 Config.ini，本次设置仅在程序关闭前有效。"));
    }
    accept();
    return written;
}

} // namespace qingtong
