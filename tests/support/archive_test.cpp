// The archive's entries, the Create Support File button and the rule for empty logs.
#include "archive.h"
#include "plainfile.h"
#include "supportfixture.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <atomic>
#include <optional>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

TEST(EmptyLogs, onlyARegularFileWithContentCounts)
{
    QTemporaryDir folder;
    const auto make = [&](const QString &name, const QByteArray &bytes) {
        QFile file(folder.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return folder.filePath(name);
    };
    const QString empty = make("empty.log", "");
    const QString full = make("full.log", "x");
    ASSERT_TRUE(QDir(folder.path()).mkdir("folder.log"));
    const QString missing = folder.filePath("missing.log");
    ASSERT_TRUE(QFile::link(full, folder.filePath("link.log")));
    const auto held = HeldFolder::hold(folder.path() + "/");
    EXPECT_TRUE(logsAreEmpty(*held, {}));
    EXPECT_TRUE(logsAreEmpty(*held, {empty, missing, folder.filePath("folder.log"), folder.filePath("link.log")}));
    EXPECT_FALSE(logsAreEmpty(*held, {empty, missing, full}));
}

TEST_F(SupportTest, warningWithoutATickedComponentKeepsTheOldArchive)
{
    write(archiveName, "old archive");
    write("kv4_usb_param.ini", "[LOGGING]\r\n");
    addSystemTools();
    Dialog dialog;
    BoxAnswers boxes({QMessageBox::Ok});
    click(dialog, "pushButton_CreateSupportFile");
    ASSERT_EQ(boxes.seen.size(), 1);
    EXPECT_EQ(boxes.seen[0].text, "No component is switched on. Please switch one on, log a session and try again");
    EXPECT_EQ(read(archiveName), "old archive");
    EXPECT_EQ(tools.runs("zel-sysreport"), 0);
}

TEST_F(SupportTest, warningWhenEveryLogIsEmptyOrAFolder)
{
    write(archiveName, "old archive");
    write("kv4_usb.log", "");
    write("kv4_cam.log", "");
    makeFolder("kv4_cl_nat.log"); // Camera Link counts as on, but a folder holds no log
    write("kv4_usb_param.ini", "[LOGGING]\r\nLogging=0x0000FC03\r\n");
    makeFolder("backup");
    write("backup/kv4_usb.log", "an earlier session");
    addSystemTools();
    Dialog dialog;
    BoxAnswers boxes({QMessageBox::Ok});
    click(dialog, "pushButton_CreateSupportFile");
    expectEmptyLogsWarning(boxes.seen);
    EXPECT_EQ(read(archiveName), "old archive");
    EXPECT_EQ(tools.runs("zel-sysreport"), 0);
}

TEST_F(SupportTest, oneNonEmptyLogAmongEmptyAndMissingOnesBuildsTheArchive)
{
    if (!haveReaders())
        GTEST_SKIP() << "python3 or unzip is missing";
    write("kv4_cam.log", "sdk log"); // zel.sdk is on; zel_conv.log is missing
    write("kv4_usb.log", "");
    Dialog dialog;
    BoxAnswers boxes;
    click(dialog, "pushButton_CreateSupportFile");
    EXPECT_TRUE(boxes.seen.isEmpty());
    const std::optional<QList<Entry>> entries = readArchive(path(archiveName));
    ASSERT_TRUE(entries);
    QStringList found = names(*entries);
    found.sort();
    // No tool is on PATH here, so neither report is in the archive.
    EXPECT_EQ(found, QStringList({"kv4_cam.log", "kv4_usb.log"}));
    EXPECT_EQ(data(*entries, "kv4_cam.log"), "sdk log");
    EXPECT_EQ(data(*entries, "kv4_usb.log"), "");
    EXPECT_TRUE(QFileInfo(path("backup")).isDir()) << "a missing backup folder is created";
}

TEST_F(SupportTest, entriesComeInOrderLogsIniFilesBackupsReportNetwork)
{
    if (!haveReaders())
        GTEST_SKIP() << "python3 or unzip is missing";
    write("kv4_cam.log", "camera log");
    write("zel_conv.log", "");
    write("kv4_cam.ini", "[LOGGING]\r\nLogging=0x0000FC03\r\n");
    write("zel_conv.ini", "[OTHER]\r\n");
    makeFolder("backup");
    const QStringList backups = {"b.txt", "a.log", "A.log", "c.ini", "D.LOG", "e.Txt", "old.zip", "conflicts.nfo",
                                 "notes.txt", "kv4_cam.log", "f.log.bak"};
    for (const QString &name : backups)
        write("backup/" + name, "backup " + name.toUtf8());
    addSystemTools();
    Dialog dialog;
    BoxAnswers boxes;
    click(dialog, "pushButton_CreateSupportFile");
    EXPECT_TRUE(boxes.seen.isEmpty());
    const std::optional<QList<Entry>> entries = readArchive(path(archiveName));
    ASSERT_TRUE(entries);
    const QList<Entry> expected = {
        {"kv4_cam.log", "camera log"},
        {"zel_conv.log", ""},
        {"kv4_cam.ini", "[LOGGING]\r\nLogging=0x0000FC03\r\n"},
        {"zel_conv.ini", "[OTHER]\r\n"},
        {"backup/A.log", "backup A.log"},
        {"backup/a.log", "backup a.log"},
        {"backup/b.txt", "backup b.txt"},
        {"backup/c.ini", "backup c.ini"},
        {"backup/kv4_cam.log", "backup kv4_cam.log"},
        {"backup/notes.txt", "backup notes.txt"},
        {"conflicts.nfo", "system report\n"},
        {"network.txt", "network\n"},
    };
    EXPECT_EQ(*entries, expected);
    EXPECT_EQ(read("conflicts.nfo"), "system report\n");
    EXPECT_EQ(read("network.txt"), "network\n");
}

TEST_F(SupportTest, secondRunHoldsOnlyItsOwnEntriesAndReusesTheReport)
{
    if (!haveReaders())
        GTEST_SKIP() << "python3 or unzip is missing";
    write("kv4_usb.log", "first session");
    makeFolder("backup");
    write("backup/one.txt", "one");
    addSystemTools();
    Dialog dialog;
    click(dialog, "pushButton_CreateSupportFile");
    std::optional<QList<Entry>> entries = readArchive(path(archiveName));
    ASSERT_TRUE(entries);
    EXPECT_EQ(names(*entries), QStringList({"kv4_usb.log", "backup/one.txt", "conflicts.nfo", "network.txt"}));

    QFile::remove(path("backup/one.txt"));
    write("backup/two.log", "two");
    write("kv4_usb.log", "second session");
    click(dialog, "pushButton_CreateSupportFile");
    entries = readArchive(path(archiveName));
    ASSERT_TRUE(entries);
    EXPECT_EQ(names(*entries), QStringList({"kv4_usb.log", "backup/two.log", "conflicts.nfo", "network.txt"}));
    EXPECT_EQ(data(*entries, "kv4_usb.log"), "second session");
    EXPECT_EQ(reportRuns(), 1) << "the report of the first run is younger than two hours";
    EXPECT_EQ(networkRuns(), 2);
}

TEST_F(SupportTest, archiveThatCannotBeWrittenEndsTheRunWithAWarning)
{
    write("kv4_usb.log", "usb log");
    makeFolder(archiveName);
    write(archiveName + "/inside", "x");
    addSystemTools();
    Dialog dialog;
    BoxAnswers boxes;
    click(dialog, "pushButton_CreateSupportFile");
    ASSERT_EQ(boxes.seen.size(), 1);
    EXPECT_EQ(boxes.seen[0].icon, QMessageBox::Warning);
    EXPECT_TRUE(boxes.seen[0].text.startsWith("The support file could not be written completely"));
    EXPECT_TRUE(QFileInfo(path(archiveName)).isDir());
    EXPECT_EQ(read(archiveName + "/inside"), "x");
    EXPECT_EQ(tools.runs("zel-sysreport"), 0);
    EXPECT_EQ(folderNames(), QStringList({"kv4_usb.log", archiveName}));
}

// --- hostile entries in the log folder ---

// Symbolic links and second names (hard links) of files outside the folder are no logs, INI
// files, backups or reports: none of their bytes is packed, a report of that kind is made
// afresh, and the tools' outputs replace them without writing through.
TEST_F(SupportTest, archiveHoldsNoByteOfAnOutsideFileAndToolOutputsReplaceLinks)
{
    if (!haveReaders())
        GTEST_SKIP() << "python3 or unzip is missing";
    for (const bool hard : {false, true}) {
        SCOPED_TRACE(hard ? "hard links" : "symbolic links");
        ASSERT_TRUE(QDir(logPath()).removeRecursively() && QDir(outside()).removeRecursively());
        ASSERT_TRUE(QDir().mkpath(logPath()) && QDir().mkpath(outside()));
        const auto linkOutAs = [&](const QString &name, const QString &target, const QByteArray &bytes) {
            hard ? hardLinkOut(name, target, bytes) : linkOut(name, target, bytes);
        };
        write("kv4_cam.log", "sdk log");
        linkOutAs("zel_conv.log", "private.log", "private log");
        linkOutAs("kv4_cam.ini", "private.ini", "private ini");
        if (hard) {
            makeFolder("backup");
            hardLinkOut("backup/old.log", "old.log", "private backup");
        } else {
            QDir().mkpath(outside("folder"));
            linkOut("backup", "folder");
            write("backup/secret.log", "secret log"); // a regular file of the outside folder
        }
        linkOutAs("conflicts.nfo", "report.nfo", "private report"); // fresh, but no report
        linkOutAs("network.txt", "net.txt", "private listing");
        addSystemTools();
        const QMap<QString, QByteArray> before = outsideSnapshot();
        const int reportsBefore = reportRuns();
        Dialog dialog;
        click(dialog, "pushButton_CreateSupportFile");

        const std::optional<QList<Entry>> entries = readArchive(path(archiveName));
        ASSERT_TRUE(entries);
        EXPECT_EQ(*entries, QList<Entry>({{"kv4_cam.log", "sdk log"},
                                          {"conflicts.nfo", "system report\n"},
                                          {"network.txt", "network\n"}}));
        EXPECT_EQ(outsideSnapshot(), before);
        EXPECT_EQ(reportRuns(), reportsBefore + 1);
        for (const char *name : {"conflicts.nfo", "network.txt"})
            EXPECT_EQ(entryKind(path(name)), EntryKind::PlainFile) << name;
    }
}

// Another local user links a log to the archive's name, and to every pending name in sight, as
// fast as possible while archives are built: the log never changes.
TEST_F(SupportTest, raceThatLinksALogToTheArchivesNamesNeverTouchesTheLog)
{
    QByteArray log;
    for (int line = 0; log.size() < (4 << 20); ++line)
        log += "frame " + QByteArray::number(line) + " exposure ok\n";
    write("kv4_cam.log", log);
    addSystemTools();
    std::atomic<bool> stop{false};
    std::thread attacker([&, logFile = QFile::encodeName(path("kv4_cam.log")), folder = QFile::encodeName(logPath())] {
        const QByteArray staged = folder + ".staged";
        while (!stop) {
            QList<QByteArray> targets{folder + "zel_support.zip"};
            if (DIR *listing = opendir(folder.constData())) {
                while (const dirent *entry = readdir(listing))
                    if (entry->d_name[0] == '~')
                        targets << folder + entry->d_name;
                closedir(listing);
            }
            for (const QByteArray &target : targets) {
                if (link(logFile.constData(), staged.constData()) == 0)
                    rename(staged.constData(), target.constData());
                unlink(staged.constData());
            }
        }
    });
    Dialog dialog;
    BoxAnswers boxes;
    for (int run = 0; run < 3; ++run)
        click(dialog, "pushButton_CreateSupportFile");
    stop = true;
    attacker.join();
    EXPECT_EQ(read("kv4_cam.log"), log);
}

// A name in the backup folder that is not UTF-8 (Latin-1 "caf\xe9.log") is packed from its own
// file, and under its own bytes: the archive's names carry no UTF-8 mark, so readers take them
// as they are.
TEST_F(SupportTest, backupNameThatIsNotUtf8KeepsItsBytes)
{
    if (!haveReaders())
        GTEST_SKIP() << "python3 or unzip is missing";
    write("kv4_cam.log", "sdk log");
    makeFolder("backup");
    const QByteArray latin1 = QFile::encodeName(path("backup/")) + "caf\xe9.log";
    const int fd = ::open(latin1.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "latin-1 backup", 14), 14);
    ::close(fd);
    Dialog dialog;
    click(dialog, "pushButton_CreateSupportFile");
    const std::optional<QList<Entry>> entries = readArchive(path(archiveName));
    ASSERT_TRUE(entries);
    // Readers decode a name without the UTF-8 mark as code page 437, where 0xE9 is a theta.
    EXPECT_EQ(data(*entries, QString::fromUtf8("backup/caf\u0398.log")), "latin-1 backup");
    QFile archive(path(archiveName));
    ASSERT_TRUE(archive.open(QIODevice::ReadOnly));
    EXPECT_EQ(archive.readAll().count("backup/caf\xe9.log"), 2) << "in the local and the central header";
}

TEST_F(SupportTest, idlePipesNeitherHoldUpTheButtonsNorEnterTheArchive)
{
    if (!haveReaders())
        GTEST_SKIP() << "python3 or unzip is missing";
    write("kv4_cam.log", "sdk log");
    idlePipe("zel_conv.log");
    idlePipe("kv4_cam.ini");
    makeFolder("backup");
    idlePipe("backup/old.log");
    idlePipe("conflicts.nfo");
    idlePipe("network.txt");
    idlePipe("kv4_cam_1.log");
    addSystemTools();
    Dialog dialog;
    click(dialog, "pushButton_CreateSupportFile");
    const std::optional<QList<Entry>> entries = readArchive(path(archiveName));
    ASSERT_TRUE(entries);
    EXPECT_EQ(*entries, QList<Entry>({{"kv4_cam.log", "sdk log"}}));

    BoxAnswers boxes({QMessageBox::Yes});
    click(dialog, "pushButton_ClearLog");
    EXPECT_EQ(read("backup/kv4_cam.log"), "sdk log");
    for (const char *name : {"zel_conv.log", "kv4_cam.ini", "backup/old.log", "conflicts.nfo", "network.txt",
                             "kv4_cam_1.log"})
        EXPECT_EQ(entryKind(path(name)), EntryKind::Other) << name;
}

} // namespace
