// The support mail's body and the Support Mail button.
#include "dialogdriver.h"
#include "supportfixture.h"
#include "supportmail.h"

#include <QFile>
#include <QProgressDialog>
#include <QTest>
#include <QTimer>

#include <optional>
#include <ostream>
#include <string>

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

TEST(MailBody, isTheFormOfTwentyOneLines)
{
    ASSERT_EQ(mailForm.size(), 21);
    EXPECT_EQ(supportMailBody(), mailForm.join("\r\n"));
    EXPECT_FALSE(supportMailBody().endsWith("\n"));
}

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
