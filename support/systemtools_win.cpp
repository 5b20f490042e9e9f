#include "systemtools.h"

#include <QDir>

#include <windows.h>

namespace {

// The tool `name` in the system folder, by its whole path: a bare name would make CreateProcess
// look in the current folder first, and an administrator may start the program from a folder
// that every user can write, such as the log folder. Empty, so that nothing starts, when the
// system folder is not known.
QString systemProgram(const QString &name)
{
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return QString();
    return QDir::fromNativeSeparators(QString::fromWCharArray(folder, int(length))) + QLatin1Char('/') + name;
}

} // namespace

SystemTool systemReportTool()
{
    // The tool writes the report file itself, at the path that stands for "%1"; it takes the
    // report's place only when the tool succeeded.
    return {systemProgram(QStringLiteral("msinfo32.exe")),
            QStringLiteral("/nfo,%1,/categories"
                           "+SystemSummary+ComponentsProblemDevices+ResourcesConflicts"
                           "+ResourcesDMA+ResourcesForcedHardware+ResourcesIO"
                           "+ResourcesIRQS+ResourcesMemory+ComponentsDisplay"),
            reportName, false};
}

SystemTool networkTool()
{
    return {systemProgram(QStringLiteral("ipconfig.exe")), QStringLiteral("/all"), networkName, true};
}
