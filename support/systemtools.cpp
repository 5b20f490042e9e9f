#include "systemtools.h"

#include "plainfile.h"

#include <QFile>
#include <QFileInfo>

QString toolOutputName(const QString &program, const QString &outputName)
{
    return outputName.isEmpty() ? program + QStringLiteral(".txt") : outputName;
}

QStringList toolArguments(const QString &arguments)
{
    if (arguments.isEmpty())
        return {};
    return arguments.split(QLatin1Char(','), Qt::KeepEmptyParts);
}

bool toolSucceeded(bool finished, QProcess::ExitStatus status, int exitCode)
{
    return finished && status == QProcess::NormalExit && exitCode == 0;
}

bool reportIsFresh(const QString &reportPath, const QDateTime &now)
{
    constexpr qint64 reportLifetime = 2 * 60 * 60 * 1000;
    if (!isPlainFile(reportPath))
        return false;
    const QFileInfo report(reportPath);
    const qint64 age = now.toMSecsSinceEpoch() -
                       report.fileTime(QFileDevice::FileMetadataChangeTime).toMSecsSinceEpoch();
    return age < reportLifetime;
}

QString stagingPath(const QString &folder, const QString &outputName)
{
    return folder + QLatin1Char('~') + outputName;
}

bool captureToolOutput(const SystemTool &tool, const QString &folder, const std::atomic<bool> &cancel)
{
    if (cancel)
        return false;
    const QString staging = stagingPath(folder, tool.outputName);
    // What an interrupted run left there goes first, a link itself and never its target.
    const EntryKind leftOver = entryKind(staging);
    if (leftOver == EntryKind::PlainFile || leftOver == EntryKind::Link)
        QFile::remove(staging);
    // Created new and ours, so neither the capture nor a tool that writes the file itself goes
    // through a link put there meanwhile.
    QFile output(staging);
    if (!output.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    if (!tool.capture)
        output.close();
    QProcess process;
    process.start(tool.program, toolArguments(tool.arguments));
    const bool started = process.waitForStarted(-1);
    bool written = true;
    // Waits in short steps, taking the output as it comes, so that a cancel need not outlast a
    // slow tool. A killed tool has crashed, so its run does not count.
    while (started && process.state() != QProcess::NotRunning) {
        if (cancel) {
            process.kill();
            process.waitForFinished(-1);
            break;
        }
        process.waitForFinished(100);
        if (tool.capture)
            written = output.write(process.readAllStandardOutput()) >= 0 && written;
    }
    const bool finished = started && process.state() == QProcess::NotRunning;
    if (tool.capture) {
        written = output.write(process.readAllStandardOutput()) >= 0 && output.flush() && written;
        output.close();
    }
    if (written && toolSucceeded(finished, process.exitStatus(), process.exitCode()) &&
        replaceFile(staging, folder + tool.outputName))
        return true;
    removePlainFile(staging);
    return false;
}

QVector<ArchiveEntry> systemToolEntries(const QString &logPath, const std::atomic<bool> &cancel)
{
    QVector<ArchiveEntry> entries;
    const auto run = [&](SystemTool tool) {
        tool.outputName = toolOutputName(tool.program, tool.outputName);
        if (captureToolOutput(tool, logPath, cancel))
            entries.append({tool.outputName, logPath + tool.outputName});
    };
    // A report younger than two hours is reused; the network listing is taken every time.
    if (reportIsFresh(logPath + reportName, QDateTime::currentDateTime()))
        entries.append({reportName, logPath + reportName});
    else if (const std::optional<SystemTool> reportTool = systemReportTool(logPath))
        run(*reportTool);
    run(networkTool());
    return entries;
}
