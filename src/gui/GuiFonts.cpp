#include "gui/GuiFonts.h"

#include <QFontDatabase>
#include <QStringList>

namespace qingtong {

namespace {

QString firstInstalled(const QStringList& candidates)
{
    const QStringList installed = QFontDatabase::families();
    for (const QString& family : candidates) {
        if (installed.contains(family, Qt::CaseInsensitive))
            return family;
    }
    return {};
}

QFont pick(const QStringList& candidates, QFont::Weight weight)
{
    QFont font;
    const QString family = firstInstalled(candidates);
    if (!family.isEmpty())
        font.setFamilies({family});
    font.setWeight(weight);
    font.setPointSize(9);
    return font;
}

} // namespace

QFont listFont()
{
    return pick({QStringLiteral("微软雅黑"), QStringLiteral("Microsoft YaHei"), QStringLiteral("Noto Sans CJK SC"),
                  QStringLiteral("Source Han Sans SC"), QStringLiteral("WenQuanYi Micro Hei")},
                QFont::Normal);
}

QFont lightFont()
{
    const QString light = firstInstalled({QStringLiteral("微软雅黑 Light"), QStringLiteral("Microsoft YaHei Light")});
    if (!light.isEmpty())
        return pick({light}, QFont::Normal);
    return pick({QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Source Han Sans SC"),
                 QStringLiteral("WenQuanYi Micro Hei")},
                QFont::Light);
}

} // namespace qingtong
