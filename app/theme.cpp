#include "theme.h"

QString themedStyleSheet(QString sheet)
{
    sheet.replace(QStringLiteral("@accent_hex"), QStringLiteral("#64A70B"), Qt::CaseSensitive);
    sheet.replace(QStringLiteral("@accent_rgb"), QStringLiteral("100, 167, 11"), Qt::CaseSensitive);
    return sheet;
}
