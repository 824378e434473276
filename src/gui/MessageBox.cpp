#include "gui/MessageBox.h"

#include <QAbstractButton>
#include <QMessageBox>

namespace qingtong {

namespace {

// GUI thread only, like the boxes themselves.
MessageBox::Button g_nextAnswer = MessageBox::NoButton;
QString g_lastText;
int g_shownCount = 0;
const char* const kCaption = "信息：";

} // namespace

MessageBox::Button MessageBox::show(QWidget* parent, const QString& text, bool yesNo)
{
    g_lastText = text;
    ++g_shownCount;
    if (g_nextAnswer != NoButton) {
        const Button answer = g_nextAnswer;
        g_nextAnswer = NoButton;
        return answer;
    }
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(kCaption), text,
                    yesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok, parent);
    box.setWindowModality(Qt::ApplicationModal);
    box.setDefaultButton(yesNo ? QMessageBox::Yes : QMessageBox::Ok);
    // Chinese button texts even where Qt's translations are not installed.
    if (yesNo) {
        box.button(QMessageBox::Yes)->setText(QString::fromUtf8("是(&Y)"));
        box.button(QMessageBox::No)->setText(QString::fromUtf8("否(&N)"));
    } else {
        box.button(QMessageBox::Ok)->setText(QString::fromUtf8("确定"));
    }
    const int result = box.exec();
    if (result == QMessageBox::Yes)
        return Yes;
    if (result == QMessageBox::Ok)
        return Ok;
    return No;
}

bool MessageBox::askYesNo(QWidget* parent, const QString& text)
{
    return show(parent, text, true) == Yes;
}

void MessageBox::inform(QWidget* parent, const QString& text)
{
    show(parent, text, false);
}

void MessageBox::setNextAnswer(Button button)
{
    g_nextAnswer = button;
}

QString MessageBox::lastText()
{
    return g_lastText;
}

int MessageBox::shownCount()
{
    return g_shownCount;
}

} // namespace qingtong
