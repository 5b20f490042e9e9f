#include "levels.h"

#include <QStringList>

QString levelMask(int index)
{
    static const QStringList masks = {"0x0000FC01", "0x0000FC03", "0x0000FC0B", "0x0000FFFF"};
    return index >= 0 && index < masks.size() ? masks.at(index) : QString();
}
