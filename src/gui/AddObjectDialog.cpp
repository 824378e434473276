#include "gui/AddObjectDialog.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>

#include "addobject/AddObject.h"
#include "gui/GuiFonts.h"
#include "gui/GuiRelay.h"
#include "gui/GuiText.h"
#include "gui/WorkerThreads.h"

namespace qingtong {

namespace {

// The lines of the instruction text; the batch reads the box with CR LF line ends.
const char* const kInstructionLines[] = {
    "请在此框内输入监控对象信息，一行一条，输入完毕后点击“添加至监控列表”等待添加完毕。",
    "",
    "支持格式如下：",
    "用户主页分享链接（app短链接/网页链接）",
    "直播间分享链接（app短链接）",
    "用户主页口令（app口令）",
    "直播间分享口令（app口令）",
    "",
    "示例：",
    "https://v.douyin.com/iRNBho6/",
    "https://www.douyin.com/user/MS4wLjABAAAAv7iSuuXDJGDvJkmH_vz1qkDZYo1apxgzaxdBlvbrzhM",
    "6- #在抖音，记录美好生活#【青桐小站】正在直播，来和我一起支持Ta吧。复制下方口令，打开【抖音】，直接观看直播！ "
    "^^Kd8Xr2nYq1Z^^ [抖音口令]",
    "8- 长按复制此条消息，打开抖音搜索，查看TA的更多作品。 ##Hd3kW9qLm2x## [抖音口令]",
    "",
};

// What the batch sees of the window. Lives as long as the batch; talks to the window only
// through queued calls, which are dropped once the window has gone.
class DialogAddView : public AddView {
public:
    DialogAddView(Text input, std::shared_ptr<GuiRelay> relay, AddObjectDialog* dialog)
        : m_input(std::move(input))
        , m_relay(std::move(relay))
        , m_dialog(dialog)
    {
    }

    Text inputText() override { return m_input; }

    void setButtonEnabled(bool enabled) override
    {
        QPointer<AddObjectDialog> dialog = m_dialog;
        m_relay->post([dialog, enabled] {
            if (dialog)
                dialog->addButton()->setEnabled(enabled);
        });
    }

    void setLabel(const Text& text) override
    {
        QPointer<AddObjectDialog> dialog = m_dialog;
        const QString shown = toQString(text);
        m_relay->post([dialog, shown] {
            if (dialog)
                dialog->stateLabel()->setText(shown);
        });
    }

    void setStatus(const Text& text) override
    {
        QPointer<AddObjectDialog> dialog = m_dialog;
        const QString shown = toQString(text);
        m_relay->post([dialog, shown] {
            if (dialog)
                dialog->statusBar()->showMessage(shown);
        });
    }

private:
    Text m_input;
    std::shared_ptr<GuiRelay> m_relay;
    QPointer<AddObjectDialog> m_dialog;  // made on the GUI thread; dereferenced only there
};

} // namespace

QString AddObjectDialog::instructionText()
{
    QString text;
    for (const char* line : kInstructionLines) {
        text += QString::fromUtf8(line);
        text += QLatin1String("\r\n");
    }
    return text;
}

AddObjectDialog::AddObjectDialog(AppContext& context, WorkerThreads& workers, QWidget* parent)
    : QDialog(parent)
    , m_context(context)
    , m_workers(workers)
    , m_relay(GuiRelay::create(this))
{
    setWindowTitle(QStringLiteral("添加监控对象"));
    setObjectName(QStringLiteral("添加监控对象"));
    setWindowModality(Qt::ApplicationModal);
    setFixedSize(800, 419);
    setFont(listFont());

    m_editor = new QPlainTextEdit(this);
    m_editor->setObjectName(QStringLiteral("编辑框_监控对象"));
    m_editor->setGeometry(8, 8, 784, 346);
    // Qt keeps line ends as "\n"; the CR LF of the text become plain line ends here.
    m_editor->setPlainText(instructionText().replace(QLatin1String("\r\n"), QLatin1String("\n")));

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("图片框3"));
    icon->setGeometry(10, 366, 16, 16);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(16, 16));

    m_stateLabel = new QLabel(this);
    m_stateLabel->setObjectName(QStringLiteral("标签_状态"));
    m_stateLabel->setGeometry(32, 362, 560, 24);

    m_addButton = new QPushButton(QStringLiteral("添加至监控列表"), this);
    m_addButton->setObjectName(QStringLiteral("按钮_添加"));
    m_addButton->setGeometry(652, 360, 140, 30);
    connect(m_addButton, &QPushButton::clicked, this, &AddObjectDialog::startBatch);

    m_statusBar = new QStatusBar(this);
    m_statusBar->setObjectName(QStringLiteral("状态条1"));
    m_statusBar->setSizeGripEnabled(false);
    m_statusBar->setGeometry(0, 395, 800, 24);
}

AddObjectDialog::~AddObjectDialog()
{
    m_relay->detach();
}

void AddObjectDialog::startBatch()
{
    // The batch splits its input at CR LF, as the box's text would read on the original
    // platform; every line end of the editor becomes CR LF here.
    QString input = m_editor->toPlainText();
    input.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    input.replace(QLatin1Char('\n'), QLatin1String("\r\n"));

    // Disabled at once, so that a second click can not start a second batch before the
    // batch's own report arrives.
    m_addButton->setEnabled(false);

    auto view = std::make_shared<DialogAddView>(fromQString(input), m_relay, this);
    AppContext* context = &m_context;
    std::shared_ptr<GuiRelay> relay = m_relay;
    QPointer<AddObjectDialog> self = this;
    const bool started = m_workers.start([context, view, relay, self] {
        const BatchCounts counts = addObjectBatch(*context, *view);
        relay->post([self, counts] {
            if (self) {
                self->addButton()->setEnabled(true);
                emit self->batchFinished(counts.success, counts.failure);
            }
        });
    });
    if (!started)
        m_addButton->setEnabled(true);
}

} // namespace qingtong
