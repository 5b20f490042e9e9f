// The system report and the network listing: their arguments, outputs, success and age, and
// their runs for Create Support File.
#include "supportfixture.h"
#include "systemtools.h"
#include "privileges.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <optional>

#include <sys/stat.h>
#include <unistd.h>

namespace {

TEST(ToolArguments, splitAtEveryCommaKeepingEmptyParts)
{
    const struct {
        QString text;
        QStringList arguments;
    } rows[] = {
        {"", {}},
        {"/all", {"/all"}},
        {"-details,address,show", {"-details", "address", "show"}},
        {"a,,b", {"a", "", "b"}},
        {",", {"", ""}},
        {"a,", {"a", ""}},
        {" ", {" "}},
    };
    for (const auto &row : rows)
        EXPECT_EQ(toolArguments(row.text), row.arguments) << row.text.toStdString();
}

TEST(ToolOutputName, emptyNameBecomesProgramDotTxt)
{
    EXPECT_EQ(toolOutputName("ipconfig.exe", ""), "ipconfig.exe.txt");
    EXPECT_EQ(toolOutputName("ip", "network.txt"), "network.txt");
}

TEST(ToolSuccess, onlyAStartedToolThatEndedNormallyWithZeroCounts)
{
    EXPECT_TRUE(toolSucceeded(true, QProcess::NormalExit, 0));
    EXPECT_FALSE(toolSucceeded(true, QProcess::NormalExit, 1));
    EXPECT_FALSE(toolSucceeded(true, QProcess::NormalExit, 255));
    // What some platforms report for a tool that could not be started.
    EXPECT_FALSE(toolSucceeded(false, QProcess::NormalExit, 0));
    EXPECT_FALSE(toolSucceeded(true, QProcess::CrashExit, 0));
}

TEST(ReportAge, reportIsFreshForLessThanTwoHoursAfterItsMetadataChanged)
{
    QTemporaryDir folder;
    const QString report = folder.filePath("conflicts.nfo");
    const auto held = HeldFolder::hold(folder.path() + "/");
    EXPECT_FALSE(freshReport(*held, "conflicts.nfo", QDateTime::currentDateTime())) << "a missing report";
    QFile file(report);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const QDateTime changed = QFileInfo(report).fileTime(QFileDevice::FileMetadataChangeTime);
    ASSERT_TRUE(changed.isValid());
    const struct {
        qint64 offset;
        bool fresh;
    } rows[] = {
        {0, true},
        {60 * 60 * 1000, true},
        {7'199'999, true},
        {7'200'000, false},
        {7'200'001, false},
        {-60 * 60 * 1000, true}, // a change time in the future
    };
    for (const auto &row : rows)
        EXPECT_EQ(freshReport(*held, "conflicts.nfo", changed.addMSecs(row.offset)) != nullptr, row.fresh) << row.offset;
}

TEST(ReportAge, aFolderIsNoReport)
{
    QTemporaryDir folder;
    ASSERT_TRUE(QDir(folder.path()).mkdir("conflicts.nfo"));
    EXPECT_FALSE(freshReport(*HeldFolder::hold(folder.path() + "/"), "conflicts.nfo", QDateTime::currentDateTime()));
}

// Another local user may leave a report of their own making: only one that this user made, which
// nobody else may write and which has no second name, is packed as this machine's report.
TEST_F(SupportTest, reportThatIsNotOursIsMadeAfresh)
{
    const QString report = path("conflicts.nfo");
    const QByteArray file = report.toLocal8Bit();
    const QDateTime now = QDateTime::currentDateTime();
    write("conflicts.nfo", "planted report");
    EXPECT_TRUE(freshReport(*held(), "conflicts.nfo", now)) << "ours, and written just now";
    ASSERT_EQ(chmod(file.constData(), 0664), 0);
    EXPECT_FALSE(freshReport(*held(), "conflicts.nfo", now)) << "writable by the group";
    ASSERT_EQ(chmod(file.constData(), 0646), 0);
    EXPECT_FALSE(freshReport(*held(), "conflicts.nfo", now)) << "writable by others";
    ASSERT_EQ(chmod(file.constData(), 0644), 0);
    ASSERT_EQ(link(file.constData(), outside("second name").toLocal8Bit().constData()), 0);
    EXPECT_FALSE(freshReport(*held(), "conflicts.nfo", now)) << "a second name";
    ASSERT_EQ(unlink(outside("second name").toLocal8Bit().constData()), 0);
    EXPECT_TRUE(freshReport(*held(), "conflicts.nfo", now));
    const bool givenAway = restoreOverrides() && chown(file.constData(), 65534, 65534) == 0;
    dropFileOverrides();
    if (!givenAway)
        GTEST_SKIP() << "the owner of a file cannot be changed here";
    EXPECT_FALSE(freshReport(*held(), "conflicts.nfo", now)) << "another user's";
}

TEST_F(SupportTest, youngReportIsReusedWithoutRunningTheTool)
{
    if (!haveReaders())
        GTEST_SKIP() << "python3 or unzip is missing";
    write("kv4_usb.log", "usb log");
    write("conflicts.nfo", "earlier report");
    addSystemTools();
    Dialog dialog;
    click(dialog, "pushButton_CreateSupportFile");
    const std::optional<QList<Entry>> entries = readArchive(path(archiveName));
    ASSERT_TRUE(entries);
    EXPECT_EQ(reportRuns(), 0);
    EXPECT_EQ(data(*entries, "conflicts.nfo"), "earlier report");
    EXPECT_EQ(read("conflicts.nfo"), "earlier report");
}

TEST_F(SupportTest, missingReportIsRenewedByTheToolStartedWithoutArguments)
{
    if (!haveReaders())
        GTEST_SKIP() << "python3 or unzip is missing";
    write("kv4_usb.log", "usb log");
    addSystemTools();
    Dialog dialog;
    dialog.setCursor(Qt::CrossCursor);
    click(dialog, "pushButton_CreateSupportFile");
    EXPECT_EQ(dialog.cursor().shape(), Qt::ArrowCursor) << "the tools end with the arrow, not the earlier cursor";
    const std::optional<QList<Entry>> entries = readArchive(path(archiveName));
    ASSERT_TRUE(entries);
    EXPECT_EQ(reportRuns(), 1);
    EXPECT_EQ(data(*entries, "conflicts.nfo"), "system report\n");
}

TEST_F(SupportTest, networkToolGetsItsArgumentsAndReplacesTheEarlierListing)
{
    if (!haveReaders())
        GTEST_SKIP() << "python3 or unzip is missing";
    write("kv4_usb.log", "usb log");
    write("network.txt", QByteArray(5000, 's'));
    addSystemTools();
    Dialog dialog;
    click(dialog, "pushButton_CreateSupportFile");
    const std::optional<QList<Entry>> entries = readArchive(path(archiveName));
    ASSERT_TRUE(entries);
    EXPECT_EQ(networkRuns(), 1);
    EXPECT_EQ(read("network.txt"), "network\n");
    EXPECT_EQ(data(*entries, "network.txt"), "network\n");
}

// Folders and pipes that another local user leaves under the names where tool outputs were once
// staged, or under names of the pending kind, block neither report.
TEST_F(SupportTest, plantedFoldersAndPipesBlockNoReport)
{
    if (!haveReaders())
        GTEST_SKIP() << "python3 or unzip is missing";
    write("kv4_usb.log", "usb log");
    makeFolder("~network.txt");
    idlePipe("~conflicts.nfo");
    makeFolder("~AAAAAA~network.txt");
    idlePipe("~BBBBBB~conflicts.nfo");
    addSystemTools();
    Dialog dialog;
    click(dialog, "pushButton_CreateSupportFile");
    const std::optional<QList<Entry>> entries = readArchive(path(archiveName));
    ASSERT_TRUE(entries);
    EXPECT_EQ(names(*entries), QStringList({"kv4_usb.log", "conflicts.nfo", "network.txt"}));
    for (const char *name : {"~network.txt", "~AAAAAA~network.txt"})
        EXPECT_TRUE(QFileInfo(path(name)).isDir()) << name;
}

TEST_F(SupportTest, toolThatFailsCrashesOrCannotStartLeavesNoEntryAndNoRenewedOutput)
{
    if (!haveReaders())
        GTEST_SKIP() << "python3 or unzip is missing";
    write("kv4_usb.log", "usb log");
    Dialog dialog;
    const struct {
        const char *entry;  // the entry that goes missing; null: both, the script is not on PATH
        const char *report; // the script's two modes
        const char *network;
    } rows[] = {
        {"conflicts.nfo", "echo partial report; exit 3", "echo network"},
        {"conflicts.nfo", "echo partial report; kill -TERM $$", "echo network"},
        {"network.txt", "echo system report", "echo partial listing; exit 1"},
        {"network.txt", "echo system report", "echo partial listing; kill -KILL $$"},
        {nullptr, nullptr, nullptr},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.entry ? row.entry : "missing");
        if (row.entry)
            addSystemTools(row.report, row.network);
        else
            QFile::remove(root.path() + "/bin/zel-sysreport");
        // No report, so it is renewed; the listing of an earlier run stays as it was.
        QFile::remove(path("conflicts.nfo"));
        write("network.txt", "stale listing");
        click(dialog, "pushButton_CreateSupportFile");
        const std::optional<QList<Entry>> entries = readArchive(path(archiveName));
        ASSERT_TRUE(entries);
        const QStringList found = names(*entries);
        const bool reportFails = QString(row.entry) != "network.txt";
        const bool listingFails = QString(row.entry) != "conflicts.nfo";
        EXPECT_EQ(found.contains("conflicts.nfo"), !reportFails);
        EXPECT_EQ(found.contains("network.txt"), !listingFails);
        EXPECT_TRUE(found.contains("kv4_usb.log"));
        if (listingFails) {
            EXPECT_EQ(read("network.txt"), "stale listing");
        }
        if (reportFails) {
            EXPECT_FALSE(exists("conflicts.nfo")) << "a failed report is never left to be reused";
        }
        EXPECT_EQ(folderNames().filter("~"), QStringList());
        // The next run renews the report instead of reusing what the failed one wrote.
        addSystemTools();
        click(dialog, "pushButton_CreateSupportFile");
        const std::optional<QList<Entry>> renewed = readArchive(path(archiveName));
        ASSERT_TRUE(renewed);
        EXPECT_EQ(data(*renewed, "conflicts.nfo"), "system report\n");
    }
}

} // namespace
