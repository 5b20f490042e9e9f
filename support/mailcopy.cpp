#include "mailcopy.h"

#include "archive.h"
#include "plainfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

const QString copiesPrefix = QStringLiteral("zel.logging-mail-");

} // namespace

std::optional<QString> copyForMail(std::FILE *archive, const QString &name, const QString &base)
{
    if (!archive)
        return QString();
    QFile source;
    if (!source.open(archive, QIODevice::ReadOnly, QFileDevice::DontCloseHandle) || !source.seek(0))
        return std::nullopt;
    // Made for its owner alone (mode 0700 on POSIX).
    QTemporaryDir folder(base + QLatin1Char('/') + copiesPrefix + QStringLiteral("XXXXXX"));
    if (base.isEmpty() || !folder.isValid())
        return std::nullopt;
    QFile copy(folder.filePath(name));
    const bool done = copy.open(QIODevice::WriteOnly | QIODevice::NewOnly) && copyToEnd(source, copy);
    copy.close();
    if (!done)
        return std::nullopt;
    folder.setAutoRemove(false);
    return copy.fileName();
}

void removeMailCopies(const QString &base)
{
    if (base.isEmpty())
        return;
    const QDir folder(base);
    for (const QString &name : folder.entryList({copiesPrefix + QLatin1Char('*')}, QDir::Dirs | QDir::Hidden)) {
        if (isPlainFolder(folder.filePath(name)))
            QDir(folder.filePath(name)).removeRecursively();
    }
}
