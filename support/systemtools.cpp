#include "systemtools.h"

#include "plainfile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

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

QStringList toolArguments(const SystemTool &tool, const QString &outputPath)
{
    QStringList arguments = toolArguments(tool.arguments);
    for (QString &argument : arguments)
        argument.replace(QLatin1String("%1"), outputPath);
    return arguments;
}

bool toolSucceeded(bool finished, QProcess::ExitStatus status, int exitCode)
{
    return finished && status == QProcess::NormalExit && exitCode == 0;
}

SharedFile freshReport(const HeldFolder &folder, const QString &reportName, const QDateTime &now)
{
    constexpr qint64 reportLifetime = 2 * 60 * 60 * 1000;
    // Checked on the file opened, so that what is packed is what was checked.
    SharedFile report = shared(folder.open(reportName, false));
    QFile checked;
    if (!report || !ownedByUser(report.get()) ||
        !checked.open(report.get(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return nullptr;
    const qint64 age = now.toMSecsSinceEpoch() -
                       checked.fileTime(QFileDevice::FileMetadataChangeTime).toMSecsSinceEpoch();
    return age < reportLifetime ? report : nullptr;
}

SharedFile captureToolOutput(const SystemTool &tool, const HeldFolder &folder, const std::atomic<bool> &cancel,
                             ToolRecord &record)
{
    record.entry = tool.outputName;
    record.outcome = QStringLiteral("not written");
    if (cancel) {
        record.outcome = QStringLiteral("cancelled");
        return nullptr;
    }
    // A new file of our own, so that the output never goes through a link put in its place,
    // and no entry planted under a fixed name can block it.
    const std::unique_ptr<PendingFile> output = folder.createPending(tool.outputName, NewFileAccess::Readable);
    QFile capture;
    if (!output || !capture.open(output->stream(), QIODevice::WriteOnly, QFileDevice::DontCloseHandle))
        return nullptr;
    // A tool that writes its output itself does so in a folder of the user's own, out of the
    // shared one's reach, and the output is copied from there.
    QTemporaryDir own;
    const QString ownPath = own.filePath(tool.outputName);
    if (!tool.capture && !own.isValid())
        return nullptr;
    QProcess process;
    const QStringList arguments = toolArguments(tool, QDir::toNativeSeparators(ownPath));
    record.command = (QStringList(tool.program) + arguments).join(QLatin1Char(' '));
    QElapsedTimer clock;
    clock.start();
    process.start(tool.program, arguments);
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
            written = capture.write(process.readAllStandardOutput()) >= 0 && written;
    }
    const bool finished = started && process.state() == QProcess::NotRunning;
    record.milliseconds = clock.elapsed();
    if (!started)
        record.outcome = QStringLiteral("not started");
    else if (cancel)
        record.outcome = QStringLiteral("cancelled");
    else if (process.exitStatus() != QProcess::NormalExit)
        record.outcome = QStringLiteral("crashed");
    else
        record.exitCode = process.exitCode();
    if (!toolSucceeded(finished, process.exitStatus(), process.exitCode())) {
        if (record.exitCode)
            record.outcome = QStringLiteral("failed");
        return nullptr;
    }
    if (tool.capture) {
        written = capture.write(process.readAllStandardOutput()) >= 0 && written;
    } else {
        QFile made(ownPath);
        written = made.open(QIODevice::ReadOnly) && capture.write(made.readAll()) == made.size();
    }
    written = capture.flush() && written;
    capture.close();
    if (!written || !output->commit())
        return nullptr;
    record.outcome = QStringLiteral("done");
    return shared(output->takeStream());
}

QVector<ArchiveEntry> systemToolEntries(const std::shared_ptr<const HeldFolder> &folder,
                                        const std::atomic<bool> &cancel, QVector<ToolRecord> &records)
{
    QVector<ArchiveEntry> entries;
    const auto run = [&](SystemTool tool) {
        tool.outputName = toolOutputName(tool.program, tool.outputName);
        if (const SharedFile output = captureToolOutput(tool, *folder, cancel, records.emplace_back()))
            entries.append({tool.outputName, tool.outputName, folder, output});
    };
    // A report younger than two hours is reused; the network listing is taken every time.
    if (const SharedFile report = freshReport(*folder, reportName, QDateTime::currentDateTime())) {
        entries.append({reportName, reportName, folder, report});
        records.append({QString(), reportName, QStringLiteral("reused"), std::nullopt, 0});
    } else {
        run(systemReportTool());
    }
    run(networkTool());
    return entries;
}
