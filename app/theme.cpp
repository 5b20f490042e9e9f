#include "theme.h"

#include <QRegularExpression>

QString themedStyleSheet(QString sheet, bool svgImages)
{
    sheet.replace(QStringLiteral("@accent_hex"), QStringLiteral("#64A70B"), Qt::CaseSensitive);
    sheet.replace(QStringLiteral("@accent_rgb"), QStringLiteral("100, 167, 11"), Qt::CaseSensitive);
    if (!svgImages)
        sheet.replace(QRegularExpression(QStringLiteral(R"re((url\(\s*"?:/icons/white/[^")\s]+)\.svg)re")),
                      QStringLiteral("\\1.png"));
    return sheet;
}
