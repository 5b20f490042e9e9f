#include "systemtools.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

QString findHelper(const QString &name, const QString &applicationDir)
{
    const QStringList ownFolders = {QDir::cleanPath(applicationDir + QStringLiteral("/" ZEL_HELPER_FOLDER)),
                                    applicationDir};
    QString program = QStandardPaths::findExecutable(name, ownFolders);
    if (program.isEmpty())
        program = QStandardPaths::findExecutable(name);
    // Not found anywhere: the start fails, which leaves the output out like any failing tool.
    return program.isEmpty() ? name : program;
}

namespace {

// zel-sysreport prints both descriptions to standard output, which is captured.
SystemTool sysreport(const QString &arguments, const QString &outputName)
{
    return {findHelper(QStringLiteral("zel-sysreport"), QCoreApplication::applicationDirPath()), arguments,
            outputName, true};
}

} // namespace

SystemTool systemReportTool()
{
    return sysreport(QString(), reportName);
}

SystemTool networkTool()
{
    // Addresses, routes and name servers; it fails when one of them could not be listed.
    return sysreport(QStringLiteral("--network"), networkName);
}
