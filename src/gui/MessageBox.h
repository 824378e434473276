#pragma once

#include <QString>

class QWidget;

namespace qingtong {

// The program's message boxes: captioned "信息：", no icon, modal to the whole program.
//
// Tests answer a box before it would be shown (setNextAnswer); the box is then not shown,
// its text is remembered (lastText) and the prepared answer is returned once.
class MessageBox {
public:
    enum Button { NoButton, Ok, Yes, No };

    // Yes/No box; true only for Yes.
    static bool askYesNo(QWidget* parent, const QString& text);
    // OK box.
    static void inform(QWidget* parent, const QString& text);

    static void setNextAnswer(Button button);
    static QString lastText();
    static int shownCount();  // boxes asked for since the start (answered or shown)

private:
    static Button show(QWidget* parent, const QString& text, bool yesNo);
};

} // namespace qingtong
