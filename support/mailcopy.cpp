#include "mailcopy.h"

#include "plainfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

const QString copiesPrefix = QStringLiteral("zel.logging-mail-");

} // namespace

std::optional<QString> copyForMail(const QString &archivePath, const QString &base)
{
    const PlainFile archive = openPlainFile(archivePath, false);
    QFile source;
    if (!archive || !source.open(archive.get(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return QString();
    // Made for its owner alone (mode 0700 on POSIX).
    QTemporaryDir folder(base + QLatin1Char('/') + copiesPrefix + QStringLiteral("XXXXXX"));
    if (!folder.isValid())
        return std::nullopt;
    QFile copy(folder.filePath(QFileInfo(archivePath).fileName()));
    bool done = copy.open(QIODevice::WriteOnly | QIODevice::NewOnly);
    char buffer[65536];
    qint64 length = 0;
    while (done && (length = source.read(buffer, sizeof buffer)) > 0)
        done = copy.write(buffer, length) == length;
    done = done && length == 0 && copy.flush();
    copy.close();
    if (!done)
        return std::nullopt;
    folder.setAutoRemove(false);
    return copy.fileName();
}

void removeMailCopies(const QString &base)
{
    const QDir folder(base);
    for (const QString &name : folder.entryList({copiesPrefix + QLatin1Char('*')}, QDir::Dirs | QDir::Hidden)) {
        if (isPlainFolder(folder.filePath(name)))
            QDir(folder.filePath(name)).removeRecursively();
    }
}
