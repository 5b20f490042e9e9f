#include "systemtools.h"

#include <QCoreApplication>
#include <QStandardPaths>

std::optional<SystemTool> systemReportTool(const QString &)
{
    // zel-sysreport, the script shipped beside the program, prints the summary to standard
    // output, which is captured into the report. So no path travels through the
    // comma-separated argument string, and a comma in the log folder's path does no harm.
    const QString script = QStringLiteral("zel-sysreport");
    QString program = QStandardPaths::findExecutable(script);
    if (program.isEmpty())
        program = QStandardPaths::findExecutable(script, {QCoreApplication::applicationDirPath()});
    // Not found anywhere: the start fails, which leaves the report out like any failing tool.
    if (program.isEmpty())
        program = script;
    return SystemTool{program, QString(), reportName, true};
}

SystemTool networkTool()
{
    // Addresses, MTU, link state and link details of every interface.
    return {QStringLiteral("ip"), QStringLiteral("-details,address,show"), networkName, true};
}
