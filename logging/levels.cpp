#include "levels.h"

#include <QCoreApplication>
#include <QStringList>

namespace {

const QStringList masks = {"0x0000FC01", "0x0000FC03", "0x0000FC0B", "0x0000FFFF"};
const char *const names[] = {QT_TRANSLATE_NOOP("Dialog", "Error"), QT_TRANSLATE_NOOP("Dialog", "Standard"),
                             QT_TRANSLATE_NOOP("Dialog", "High"), QT_TRANSLATE_NOOP("Dialog", "Full")};

} // namespace

QString levelMask(int index)
{
    return index >= 0 && index < masks.size() ? masks.at(index) : QString();
}

const char *levelName(int index)
{
    return index >= 0 && index < masks.size() ? names[index] : "";
}

int levelIndex(const QString &mask)
{
    return int(masks.indexOf(mask.trimmed().toUpper().replace(QLatin1String("0X"), QLatin1String("0x"))));
}
