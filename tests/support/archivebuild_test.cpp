// Building the support archive away from the window: progress, order, cancel.
#include "archive.h"
#include "archivebuild.h"
#include "filesizelimit.h"
#include "plainfile.h"
#include "supportfixture.h"
#include "zipassembler.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <chrono>
#include <functional>
#include <future>
#include <optional>

namespace {

// The build of `entries` into the support archive, with tools that hand over the report, if
// asked only after `cancel` is raised (ten seconds at most). Records every progress report,
// the entries still packed after a cancel, and whether the tools had started when the first
// report came.
class ArchiveBuild {
public:
    explicit ArchiveBuild(const QString &logPath) : logPath(logPath) {}

    // Raises the cancel flag at the first report for which `when` is true.
    std::function<bool(const BuildProgress &)> cancelWhen = [](const BuildProgress &) { return false; };
    QList<BuildProgress> reports;
    bool toolsStartedFirst = false;
    bool toolsSawCancel = false;
    QStringList packedAfterCancel;

    BuildOutcome run(QVector<ArchiveEntry> entries, bool toolsWaitForCancel)
    {
        std::promise<void> started;
        std::future<void> toolsStarted = started.get_future();
        const ToolRun tools = [&](const std::atomic<bool> &cancel) {
            started.set_value();
            for (int i = 0; toolsWaitForCancel && !cancel && i < 1000; ++i)
                QThread::msleep(10);
            toolsSawCancel = cancel;
            return QVector<ArchiveEntry>{{"conflicts.nfo", "conflicts.nfo", HeldFolder::hold(logPath)}};
        };
        std::atomic<bool> cancel{false};
        const BuildProgressCallback progress = [&](const BuildProgress &now) {
            if (reports.isEmpty())
                toolsStartedFirst = toolsStarted.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
            reports << now;
            if (cancel && !now.entry.isEmpty())
                packedAfterCancel << now.entry;
            if (cancelWhen(now))
                cancel = true;
        };
        FileFault fault = FileFault::None;
        const std::unique_ptr<PendingFile> file = newSupportArchive(*HeldFolder::hold(logPath), fault);
        ZipAssemblerHandle *archive = file ? zipAssemblerCreate(file->stream(), 0, ZipTargetKind::Stream) : nullptr;
        EXPECT_TRUE(archive);
        return archive ? buildSupportArchive(archive, *file, entries, tools, progress, cancel) : BuildOutcome::Failed;
    }

private:
    QString logPath;
};

class BuildTest : public SupportTest {
protected:
    // A 3 MiB log, an INI file and the report: text that compresses like a log does.
    // The file `name` of the log folder (or of a folder in it) as the build opens it.
    ArchiveEntry fileEntry(const QString &name) const
    {
        const QFileInfo file(path(name));
        return {name, file.fileName(), HeldFolder::hold(file.path() + "/")};
    }

    QVector<ArchiveEntry> writeSources() const
    {
        QByteArray log;
        for (int line = 0; log.size() < (3 << 20); ++line)
            log += "frame " + QByteArray::number(line * 7919 % 100003) + " exposure ok\n";
        write("kv4_cam.log", log);
        write("kv4_cam.ini", "[LOGGING]\r\n");
        write("conflicts.nfo", "system report\n");
        return {fileEntry("kv4_cam.log"), fileEntry("kv4_cam.ini")};
    }
};

TEST_F(BuildTest, toolsRunWhileTheFilesArePackedAndTheirEntriesComeLast)
{
    if (!haveReaders())
        GTEST_SKIP() << "python3 or unzip is missing";
    const QVector<ArchiveEntry> entries = writeSources();
    ArchiveBuild build(logPath());
    ASSERT_EQ(build.run(entries, false), BuildOutcome::Built);
    EXPECT_TRUE(build.toolsStartedFirst);
    const std::optional<QList<Entry>> archive = readWholeArchive(path(archiveName));
    ASSERT_TRUE(archive);
    EXPECT_EQ(names(*archive), QStringList({"kv4_cam.log", "kv4_cam.ini", "conflicts.nfo"}));
    EXPECT_EQ(data(*archive, "kv4_cam.log"), read("kv4_cam.log"));

    // Progress by bytes of the files, entry by entry in order, then the wait for the tools.
    const quint64 total = quint64(read("kv4_cam.log").size() + read("kv4_cam.ini").size());
    QStringList steps;
    quint64 done = 0;
    for (const BuildProgress &report : build.reports) {
        EXPECT_EQ(report.total, total);
        EXPECT_GE(report.done, done);
        done = report.done;
        if (steps.isEmpty() || steps.last() != report.entry)
            steps << report.entry;
    }
    EXPECT_EQ(steps, QStringList({"kv4_cam.log", "kv4_cam.ini", ""}));
    EXPECT_EQ(done, total);
}

TEST_F(BuildTest, manyEntriesKeepTheirOrderAndContents)
{
    if (!haveReaders())
        GTEST_SKIP() << "python3 or unzip is missing";
    write("conflicts.nfo", "system report\n");
    makeFolder("backup");
    QVector<ArchiveEntry> entries;
    QList<Entry> expected;
    for (int i = 0; i < 150; ++i) {
        const QString name = QString("backup/%1.log").arg(149 - i, 3, 10, QChar('0'));
        write(name, name.toUtf8().repeated(i));
        entries.append(fileEntry(name));
        expected.append(Entry{name, name.toUtf8().repeated(i)});
    }
    expected.append(Entry{"conflicts.nfo", "system report\n"});
    ArchiveBuild build(logPath());
    ASSERT_EQ(build.run(entries, false), BuildOutcome::Built);
    const std::optional<QList<Entry>> archive = readWholeArchive(path(archiveName));
    ASSERT_TRUE(archive);
    EXPECT_EQ(*archive, expected);
}

// A file-size limit (with its signal at the default, as a user's shell leaves it, and ignored by
// the program's start-up) cuts the archive short: the build fails, the program lives on, and the
// earlier archive stays byte for byte, with nothing left beside it.
TEST_F(BuildTest, archiveThatCannotBeWrittenWholeFailsAndKeepsTheEarlierOne)
{
    const QVector<ArchiveEntry> entries = writeSources();
    write(archiveName, "earlier archive");
    const QStringList before = folderNames();
    ArchiveBuild build(logPath());
    BuildOutcome outcome;
    {
        const FileSizeLimit limit(64 * 1024);
        failWritesPastSizeLimit();
        outcome = build.run(entries, false);
    }
    EXPECT_EQ(outcome, BuildOutcome::Failed);
    EXPECT_EQ(read(archiveName), "earlier archive");
    EXPECT_EQ(folderNames(), before);
}

TEST_F(BuildTest, cancelKeepsTheEarlierArchiveAndLeavesNoOtherFileBehind)
{
    const QVector<ArchiveEntry> entries = writeSources();
    write(archiveName, "earlier archive");
    const QStringList before = folderNames();
    const struct {
        const char *when;
        std::function<bool(const BuildProgress &)> cancelWhen;
    } rows[] = {
        {"before the first entry", [](const BuildProgress &) { return true; }},
        {"before the second entry", [](const BuildProgress &now) { return now.entry == "kv4_cam.ini"; }},
        {"while waiting for the tools", [](const BuildProgress &now) { return now.entry.isEmpty(); }},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.when);
        ArchiveBuild build(logPath());
        build.cancelWhen = row.cancelWhen;
        EXPECT_EQ(build.run(entries, true), BuildOutcome::Cancelled);
        EXPECT_TRUE(build.toolsSawCancel);
        EXPECT_EQ(build.packedAfterCancel, QStringList());
        EXPECT_EQ(folderNames(), before);
        EXPECT_EQ(read(archiveName), "earlier archive");
    }
}

// A build whose program is killed in the middle (here it kills itself once packing is under
// way) leaves the earlier archive byte for byte, and its pending file goes at the next start.
// The killed build runs in a child process that gtest starts afresh, which finds the folder
// through the environment.
TEST_F(BuildTest, killedBuildKeepsTheEarlierArchiveAndTheNextStartCleansUp)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const char *folderVariable = "ZEL_TEST_KILLED_BUILD_FOLDER";
    const bool child = qEnvironmentVariableIsSet(folderVariable);
    if (!child) {
        writeSources();
        write(archiveName, "earlier archive");
        qputenv(folderVariable, logPath().toUtf8());
    }
    const QString folder = qEnvironmentVariable(folderVariable);
    EXPECT_EXIT(
        {
            FileFault fault = FileFault::None;
            const std::unique_ptr<PendingFile> file = newSupportArchive(*HeldFolder::hold(folder), fault);
            ZipAssemblerHandle *archive = file ? zipAssemblerCreate(file->stream(), 0, ZipTargetKind::Stream) : nullptr;
            const std::atomic<bool> cancel{false};
            const ToolRun noTools = [](const std::atomic<bool> &) { return QVector<ArchiveEntry>(); };
            const BuildProgressCallback kill = [](const BuildProgress &now) {
                if (now.done > 0)
                    std::raise(SIGKILL);
            };
            QVector<ArchiveEntry> entries(1, ArchiveEntry{"kv4_cam.log", "kv4_cam.log", HeldFolder::hold(folder)});
            if (archive)
                buildSupportArchive(archive, *file, entries, noTools, kill, cancel);
            std::exit(0);
        },
        ::testing::KilledBySignal(SIGKILL), "");
    qunsetenv(folderVariable);
    EXPECT_EQ(read(archiveName), "earlier archive");
    const QStringList pending = folderNames().filter(QRegularExpression("^~.{6}~zel_support\\.zip$"));
    EXPECT_EQ(pending.size(), 1) << "the killed build's file stays until the next start";
    Dialog dialog;
    EXPECT_EQ(folderNames(), QStringList({"conflicts.nfo", "kv4_cam.ini", "kv4_cam.log", archiveName}));
}

} // namespace
