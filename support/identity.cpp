#include "identity.h"

QStringList domainAndParents(const QString &domain)
{
    const QStringList labels = domain.toLower().split(u'.', Qt::SkipEmptyParts);
    // Under a country code, a second level of two or three letters ("co.uk", "com.au") is part of
    // what is registered.
    const bool secondLevel = labels.size() >= 3 && labels.last().size() == 2 && labels[labels.size() - 2].size() <= 3;
    const qsizetype registered = secondLevel ? 3 : 2;
    QStringList domains;
    for (qsizetype first = 0; labels.size() - first >= registered; ++first)
        domains << labels.mid(first).join(u'.');
    return domains;
}
