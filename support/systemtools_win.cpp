#include "systemtools.h"

std::optional<SystemTool> systemReportTool(const QString &logPath)
{
    // The argument string is split at every comma, so a comma in the log folder's path would
    // hand the tool a cut path, and it would write its report into some other file, perhaps
    // over one that exists. With such a folder the report is not renewed, as if the tool had
    // failed; the archive goes out without it.
    if (logPath.contains(QLatin1Char(',')))
        return std::nullopt;
    const QString arguments = QStringLiteral("/nfo,") + stagingPath(logPath, reportName) +
                              QStringLiteral(",/categories"
                                             "+SystemSummary+ComponentsProblemDevices+ResourcesConflicts"
                                             "+ResourcesDMA+ResourcesForcedHardware+ResourcesIO"
                                             "+ResourcesIRQS+ResourcesMemory+ComponentsDisplay");
    // The tool writes the report file itself, at the staging path; it takes the report's place
    // only when the tool succeeded.
    return SystemTool{QStringLiteral("msinfo32.exe"), arguments, reportName, false};
}

SystemTool networkTool()
{
    return {QStringLiteral("ipconfig.exe"), QStringLiteral("/all"), networkName, true};
}
