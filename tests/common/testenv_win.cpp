#include "testenv.h"

#include "logfolder.h"

#include <QFile>
#include <QFileInfo>

namespace {
// Beside the log folder, not in it, so that no listing of the folder sees it.
QString ownerMark(const QString &logPath)
{
    return QDir::cleanPath(logPath) + QStringLiteral(".test-run");
}
} // namespace

QString useTestLogFolder(const QString &)
{
    const QString folder = findLogFolder();
    const QString mark = ownerMark(folder);
    // The folder is ours when the mark says so, or when it is missing or empty. A test that went
    // on without it would write wherever the empty path leads, so the test program stops.
    const QDir::Filters all = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System;
    if (!QFileInfo::exists(mark) && !QDir(folder).isEmpty(all))
        qFatal("%s holds data that is not a test run's: the tests need a machine (or Wine prefix) where the "
               "components' log folder is unused", qPrintable(folder));
    QFile marker(mark);
    if (!marker.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(mark));
    makeRemovable(folder);
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    return folder;
}

void releaseTestLogFolder(const QString &logPath)
{
    makeRemovable(logPath);
    QDir(logPath).removeRecursively();
}

QFileDevice::Permissions permittedToAll()
{
    return QFileDevice::Permissions(0x6666);
}

bool folderModesBind()
{
    return false;
}
