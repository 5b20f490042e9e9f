#include "logfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QSet>
#include <QStandardPaths>

namespace {

// The messages' context is the dialog's, which shows them.
struct Text {
    Q_DECLARE_TR_FUNCTIONS(Dialog)
};

} // namespace

LogFolder openLogFolder(const QString &path)
{
    LogFolder folder{path, FolderAccess::Missing, nullptr};
    // Up to the nearest folder that exists, then down again, each part made inside the one
    // above it as it is held: a link put on the way meanwhile is never made through.
    QStringList missing;
    QString existing = QDir::cleanPath(path);
    for (;;) {
        folder.held = HeldFolder::holdTrusted(existing + QLatin1Char('/'), folder.access);
        const int cut = int(existing.lastIndexOf(QLatin1Char('/')));
        if (folder.held || folder.access != FolderAccess::Missing || cut <= 0)
            break;
        missing.prepend(existing.mid(cut + 1));
        existing.truncate(cut);
    }
    for (const QString &part : std::as_const(missing)) {
        if (!folder.held)
            break;
        folder.held = folder.held->makeFolder(part) ? folder.held->holdFolder(part) : nullptr;
        if (!folder.held)
            folder.access = FolderAccess::Denied;
    }
    if (folder.held)
        folder.held = HeldFolder::holdTrusted(path, folder.access);
    return folder;
}

bool acceptsNewFiles(const HeldFolder &folder)
{
    QString name;
    if (!folder.createUnique(QStringLiteral(".write-test-"), QString(), name))
        return false;
    folder.remove(name);
    return true;
}

QString folderProblem(const LogFolder &folder)
{
    const QString where = QDir::toNativeSeparators(folder.path);
    switch (folder.access) {
    case FolderAccess::Held:
        return QString();
    case FolderAccess::Link:
        return Text::tr("The log folder %1 is a link. It is not used, since whoever can change the link could "
                        "lead every change to files elsewhere. An administrator can put a real folder there.")
            .arg(where);
    case FolderAccess::BelowLink:
        return Text::tr("The log folder %1 lies below a link that another user can change. It is not used. An "
                        "administrator can make the folders above it safe.")
            .arg(where);
    case FolderAccess::Denied:
        return Text::tr("You have no permission to use the log folder %1. An administrator can give you access.")
            .arg(where);
    case FolderAccess::Missing:
    case FolderAccess::NotFolder:
        break;
    }
    return Text::tr("The log folder %1 cannot be made: a file or another folder is in its way.").arg(where);
}

QString sharedLogFolder(const QStringList &sharedLocations, const QString &writableLocation)
{
    QStringList remaining = sharedLocations;
    remaining.removeOne(writableLocation);
    if (remaining.isEmpty())
        return {};
    return remaining.first() + QStringLiteral("/zel/");
}

namespace {

QString machineWideFolder()
{
    return sharedLogFolder(QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation),
                           QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
}

} // namespace

QString findLogFolder()
{
    return chooseLogFolder(machineWideFolder(),
                           QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
}

bool isFallbackFolder(const QString &logPath)
{
    return logPath != machineWideFolder();
}

QString fallbackNotice(const QString &logPath)
{
    if (!isFallbackFolder(logPath))
        return QString();
    return Text::tr("The shared log folder %1 cannot be used, so your own folder %2 is used instead. The camera "
                    "software does not look there: a component switched on here does not log. An administrator can "
                    "let you write into the shared folder.")
        .arg(QDir::toNativeSeparators(machineWideFolder()), QDir::toNativeSeparators(logPath));
}

QStringList folderListing(const QString &logPath)
{
    return QDir(logPath).entryList();
}

QString changedNames(const QStringList &previous, const QStringList &current)
{
    const QSet<QString> before(previous.begin(), previous.end());
    const QSet<QString> now(current.begin(), current.end());
    const QSet<QString> changed = current.size() >= previous.size() ? now - before : before - now;
    return QStringList(changed.begin(), changed.end()).join(QLatin1Char(' '));
}

bool touchesLogFiles(const QString &changed)
{
    return changed.endsWith(QLatin1String(".log"), Qt::CaseSensitive);
}
