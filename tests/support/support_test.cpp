#include "dialogdriver.h"
#include "supportfixture.h"
#include "supportmail.h"
#include "systemtools.h"

#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <optional>
namespace {

// The support mail's body, line by line.
const QStringList mailForm = {
    "Dear ZEL support,",
    "",
    "We've got a problem. Here is the description:",
    "",
    "PLEASE MAKE SURE TO FILL OUT THE FOLLOWING FIELDS CAREFULLY AND COMPLETELY. MISSING INFORMATION "
    "CAUSES DELAYS AS ADDITIONAL MAILS TO IDENTIFY YOUR ERROR ARE REQUIRED.",
    "",
    "**********PLEASE fill in the following fields*****",
    "First name: ",
    "Last name : ",
    "Company/Institution: ",
    "Telephone : ",
    "Operating system : <W11, W10, etc.; Linux (Ubuntu, etc.)?>",
    "Camera type : <zel.sigma, zel.tau, zel.rho, etc.>",
    "Serial number : <See sticker on your camera>",
    "Interface : <USB, CLHS, USB3, GigE, etc.",
    "",
    "**********PLEASE describe the error here**********",
    "",
    "Regards,",
    "",
    "*** Application generated email. ***",
};

// --- the support logic on its own ---

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
    EXPECT_FALSE(reportIsFresh(report, QDateTime::currentDateTime())) << "a missing report";
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
        EXPECT_EQ(reportIsFresh(report, changed.addMSecs(row.offset)), row.fresh) << row.offset;
}

TEST(ReportAge, aFolderIsNoReport)
{
    QTemporaryDir folder;
    ASSERT_TRUE(QDir(folder.path()).mkdir("conflicts.nfo"));
    EXPECT_FALSE(reportIsFresh(folder.filePath("conflicts.nfo"), QDateTime::currentDateTime()));
}

TEST(MailBody, isTheFormOfTwentyOneLines)
{
    ASSERT_EQ(mailForm.size(), 21);
    EXPECT_EQ(supportMailBody(), mailForm.join("\r\n"));
    EXPECT_FALSE(supportMailBody().endsWith("\n"));
}

// --- the system tools ---

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

// --- Support Mail ---

enum class ArchiveAfter { Unchanged, Rebuilt, Absent };

struct MailCase {
    const char *name;
    bool archiveBefore;
    bool logs; // whether the switched-on component's log has content
    QMessageBox::StandardButton answer; // NoButton: the box is closed
    bool sent;
    bool attached;
    ArchiveAfter archiveAfter;
};

void PrintTo(const MailCase &row, std::ostream *out)
{
    *out << row.name;
}

class SupportMail : public SupportTest, public ::testing::WithParamInterface<MailCase> {};

TEST_P(SupportMail, asksThenOpensTheMailWithTheArchiveWhenItExists)
{
    const MailCase &row = GetParam();
    if (row.archiveAfter == ArchiveAfter::Rebuilt && !haveReaders())
        GTEST_SKIP() << "python3 or unzip is missing";
    write("kv4_usb.log", row.logs ? "usb log" : "");
    if (row.archiveBefore)
        write(archiveName, "old archive");
    addSystemTools();
    tools.add("xdg-email", "exit 0");
    Dialog dialog;
    BoxAnswers boxes({row.answer, QMessageBox::Ok});
    click(dialog, "pushButton_SupportMail");

    ASSERT_FALSE(boxes.seen.isEmpty());
    const SeenBox &question = boxes.seen[0];
    EXPECT_EQ(question.title, row.archiveBefore ? "Support File Exists" : "Support File Does Not Exist");
    EXPECT_EQ(question.text, row.archiveBefore ? "Re-create support file?" : "Create support file?");
    EXPECT_EQ(question.icon, QMessageBox::Question);
    EXPECT_EQ(question.buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    if (row.answer == QMessageBox::Yes && !row.logs)
        expectEmptyLogsWarning(boxes.seen.mid(1));
    else
        EXPECT_EQ(boxes.seen.size(), 1);

    ASSERT_EQ(tools.runs("xdg-email"), row.sent ? 1 : 0);
    if (row.sent) {
        // Plain LF line ends: a mail program shows each CR as a line end of its own.
        QStringList expected = {"--subject", "ZEL we've got a problem", "--body", mailForm.join("\n")};
        if (row.attached)
            expected << "--attach" << path(archiveName);
        expected << "support@zel.example.com";
        EXPECT_EQ(tools.arguments("xdg-email"), expected);
    }
    switch (row.archiveAfter) {
    case ArchiveAfter::Unchanged:
        EXPECT_EQ(read(archiveName), "old archive");
        break;
    case ArchiveAfter::Absent:
        EXPECT_FALSE(exists(archiveName));
        break;
    case ArchiveAfter::Rebuilt: {
        const std::optional<QList<Entry>> entries = readArchive(path(archiveName));
        ASSERT_TRUE(entries);
        EXPECT_EQ(data(*entries, "kv4_usb.log"), "usb log");
        break;
    }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, SupportMail,
    ::testing::Values(
        MailCase{"presentNoSendsTheArchiveUnchanged", true, true, QMessageBox::No, true, true, ArchiveAfter::Unchanged},
        MailCase{"presentYesRebuildsAndSendsIt", true, true, QMessageBox::Yes, true, true, ArchiveAfter::Rebuilt},
        MailCase{"presentYesWithEmptyLogsWarnsAndSendsNoAttachment", true, false, QMessageBox::Yes, true, false,
                 ArchiveAfter::Absent},
        MailCase{"presentCancelSendsNothing", true, true, QMessageBox::Cancel, false, false, ArchiveAfter::Unchanged},
        MailCase{"presentClosedSendsNothing", true, true, QMessageBox::NoButton, false, false, ArchiveAfter::Unchanged},
        MailCase{"absentNoSendsNoAttachment", false, true, QMessageBox::No, true, false, ArchiveAfter::Absent},
        MailCase{"absentYesBuildsAndSendsIt", false, true, QMessageBox::Yes, true, true, ArchiveAfter::Rebuilt},
        MailCase{"absentYesWithEmptyLogsWarnsAndSendsNoAttachment", false, false, QMessageBox::Yes, true, false,
                 ArchiveAfter::Absent},
        MailCase{"absentCancelSendsNothing", false, true, QMessageBox::Cancel, false, false, ArchiveAfter::Absent},
        MailCase{"absentClosedSendsNothing", false, true, QMessageBox::NoButton, false, false, ArchiveAfter::Absent}),
    [](const ::testing::TestParamInfo<MailCase> &info) { return std::string(info.param.name); });

TEST_F(SupportTest, cancelledArchiveSendsNoMail)
{
    write("kv4_usb.log", "usb log");
    write(archiveName, "old archive");
    tools.add("zel-sysreport", "exec /bin/sleep 30");
    tools.add("xdg-email", "exit 0");
    Dialog dialog;
    DialogDriver driver(dialog);
    BoxAnswers boxes({QMessageBox::Yes});
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        if (QProgressDialog *progress = driver.progress())
            QTest::keyClick(progress, Qt::Key_Escape);
    });
    user.start(50);
    click(dialog, "pushButton_SupportMail");
    user.stop();
    EXPECT_EQ(boxes.seen.size(), 1);
    EXPECT_EQ(tools.runs("zel-sysreport"), 1);
    EXPECT_EQ(tools.runs("xdg-email"), 0);
    EXPECT_FALSE(exists(archiveName));
    EXPECT_EQ(read("kv4_usb.log"), "usb log");
}

TEST_F(SupportTest, mailNeverAttachesWhatALinkOfTheArchivesNameLeadsTo)
{
    linkOut(archiveName, "private.txt", "private");
    EXPECT_TRUE(supportMail(path(archiveName)).attachmentPath.empty());
    ASSERT_TRUE(QFile::remove(path(archiveName)));
    write(archiveName, "archive");
    EXPECT_EQ(supportMail(path(archiveName)).attachmentPath, path(archiveName).toStdString());
}

TEST_F(SupportTest, withoutAMailProgramNothingHappensNotEvenAQuestion)
{
    write("kv4_usb.log", "usb log");
    write(archiveName, "old archive");
    addSystemTools();
    Dialog dialog;
    BoxAnswers boxes({QMessageBox::Yes});
    click(dialog, "pushButton_SupportMail");
    EXPECT_TRUE(boxes.seen.isEmpty());
    EXPECT_EQ(read(archiveName), "old archive");
    EXPECT_EQ(tools.runs("zel-sysreport"), 0);
}

} // namespace
