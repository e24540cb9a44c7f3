#include "controls/fonts.h"

#include <QFont>
#include <QStringList>

void installFontSubstitutions()
{
    QFont::insertSubstitutions(QStringLiteral("宋体"),
                               QStringList{QStringLiteral("AR PL UMing CN"), QStringLiteral("AR PL UMing TW")});
    QFont::insertSubstitutions(QStringLiteral("楷体_GB2312"),
                               QStringList{QStringLiteral("AR PL UKai CN"), QStringLiteral("AR PL UKai TW")});
}
