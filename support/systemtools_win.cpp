#include "systemtools.h"

SystemTool systemReportTool()
{
    // The tool writes the report file itself, at the path that stands for "%1"; it takes the
    // report's place only when the tool succeeded.
    return {QStringLiteral("msinfo32.exe"),
            QStringLiteral("/nfo,%1,/categories"
                           "+SystemSummary+ComponentsProblemDevices+ResourcesConflicts"
                           "+ResourcesDMA+ResourcesForcedHardware+ResourcesIO"
                           "+ResourcesIRQS+ResourcesMemory+ComponentsDisplay"),
            reportName, false};
}

SystemTool networkTool()
{
    return {QStringLiteral("ipconfig.exe"), QStringLiteral("/all"), networkName, true};
}
