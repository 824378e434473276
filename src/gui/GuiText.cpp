#include "gui/GuiText.h"

#include "platform/codePage.h"

namespace qingtong {

QString toQString(const Text& text)
{
    const WideText wide = toWide(text, Gbk);
    return QString::fromStdU16String(wide);
}

Text fromQString(const QString& text)
{
    return fromWide(text.toStdU16String(), Gbk);
}

} // namespace qingtong
