#include "mailcopy.h"

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
    if (base.isEmpty())
        return;
    const QDir folder(base);
    for (const QString &name : folder.entryList({copiesPrefix + QLatin1Char('*')}, QDir::Dirs | QDir::Hidden)) {
        if (isPlainFolder(folder.filePath(name)))
            QDir(folder.filePath(name)).removeRecursively();
    }
}
