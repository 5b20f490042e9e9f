#include "showinfolder.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <windows.h>

// Explorer from the system's own folder (never one found through PATH or the current folder),
// with "/select," and the quoted path as one argument that Explorer parses itself.
bool showInFolder(const QString &path)
{
    wchar_t windows[MAX_PATH];
    const UINT length = GetSystemWindowsDirectoryW(windows, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
        QProcess explorer;
        explorer.setProgram(QString::fromWCharArray(windows, int(length)) + QStringLiteral("\\explorer.exe"));
        explorer.setNativeArguments(QStringLiteral("/select,\"%1\"").arg(QDir::toNativeSeparators(path)));
        if (explorer.startDetached())
            return true;
    }
    return openFolder(QFileInfo(path).path());
}
