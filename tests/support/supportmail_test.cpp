// The support mail's body and the Support Mail button.
#include "dialogdriver.h"
#include "supportfixture.h"
#include "mailcopy.h"
#include "supportmail.h"

#include <QFile>
#include <QProgressDialog>
#include <QTest>
#include <QTimer>

#include <optional>
#include <ostream>
#include <string>

#include <unistd.h>

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

// After an upload the mail carries the object's name and hash in the form, and no attachment.
TEST(MailBody, afterAnUploadNamesTheObjectInsteadOfAttaching)
{
    const MailMessage mail = uploadedSupportMail("zel_support_SR-1_cam_20261209T091530Z.zip", "ab12");
    QStringList expected = mailForm;
    expected.insert(15, "Support file : uploaded as zel_support_SR-1_cam_20261209T091530Z.zip");
    expected.insert(16, "SHA-256 : ab12");
    EXPECT_EQ(QString::fromStdString(mail.body), expected.join("\r\n"));
    EXPECT_TRUE(mail.attachmentPath.empty());
    EXPECT_EQ(mail.subject, supportMail(QString()).subject);
    EXPECT_EQ(mail.recipient, supportMail(QString()).recipient);
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
        QStringList arguments = tools.arguments("xdg-email");
        if (row.attached) {
            // A copy of the archive in a folder of the user's own, which stays for the mail program.
            const QString copy = arguments.value(5);
            expected << "--attach" << copy;
            EXPECT_TRUE(copy.startsWith(root.path() + "/runtime/zel.logging-mail-")) << copy.toStdString();
            EXPECT_TRUE(copy.endsWith("/" + archiveName)) << copy.toStdString();
            EXPECT_EQ(QFileInfo(QFileInfo(copy).path()).permissions() & 0x0777, QFileDevice::Permissions(0x0700));
            QFile attached(copy);
            ASSERT_TRUE(attached.open(QIODevice::ReadOnly));
            EXPECT_EQ(attached.readAll(), read(archiveName));
        }
        expected << "support@zel.example.com";
        EXPECT_EQ(arguments, expected);
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
    EXPECT_EQ(read(archiveName), "old archive") << "the cancel leaves the archive as it was";
    EXPECT_EQ(read("kv4_usb.log"), "usb log");
}

// The mail program reads a private copy, never the shared name, which may lead to any file of the
// user's by then; a link or second name there is no archive at all. The copies of earlier mails
// go at the next start.
TEST_F(SupportTest, mailAttachesAPrivateCopyAndNeverWhatALinkOfTheArchivesNameLeadsTo)
{
    const QString base = root.path() + "/runtime";
    const auto copyOf = [&](const QString &name) {
        return copyForMail(openPlainFile(path(name), false).get(), archiveName, base);
    };
    linkOut(archiveName, "private.txt", "private");
    EXPECT_EQ(copyOf(archiveName), QString());
    ASSERT_TRUE(QFile::remove(path(archiveName)));
    ASSERT_EQ(link(outside("private.txt").toLocal8Bit().constData(), path(archiveName).toLocal8Bit().constData()), 0);
    EXPECT_EQ(copyOf(archiveName), QString());
    ASSERT_TRUE(QFile::remove(path(archiveName)));
    EXPECT_EQ(copyOf(archiveName), QString()) << "no archive";

    write(archiveName, "archive");
    const std::optional<QString> copy = copyOf(archiveName);
    ASSERT_TRUE(copy && !copy->isEmpty());
    ASSERT_TRUE(QFile::remove(path(archiveName)));
    linkOut(archiveName, "private.txt", "private");
    QFile attached(*copy);
    ASSERT_TRUE(attached.open(QIODevice::ReadOnly));
    EXPECT_EQ(attached.readAll(), "archive");
    attached.close();

    QDir().mkpath(outside("zel.logging-mail-kept"));
    ASSERT_TRUE(QFile::link(outside("zel.logging-mail-kept"), base + "/zel.logging-mail-link"));
    removeMailCopies(base);
    EXPECT_FALSE(QFileInfo::exists(*copy));
    EXPECT_EQ(QDir(base).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
              QStringList({"zel.logging-mail-link"}));
    EXPECT_TRUE(QFileInfo(outside("zel.logging-mail-kept")).isDir()) << "no link is followed";
}

// The mail program reads its attachment at a time of its own. Another local user who swaps the
// archive's shared name for a link to a private file of the user's before then changes nothing:
// the mail program still reads the archive.
TEST_F(SupportTest, mailProgramThatFindsTheSharedNameSwappedStillGetsTheArchive)
{
    if (!haveReaders())
        GTEST_SKIP() << "python3 or unzip is missing";
    write("kv4_usb.log", "usb log");
    addSystemTools();
    Dialog dialog;
    click(dialog, "pushButton_CreateSupportFile");
    const QByteArray archive = read(archiveName);
    ASSERT_FALSE(archive.isEmpty());
    QFile secret(outside("secret"));
    ASSERT_TRUE(secret.open(QIODevice::WriteOnly));
    secret.write("private");
    secret.close();
    const QString received = outside("received.zip");
    tools.add("xdg-email", "/usr/bin/ln -s '" + QFile::encodeName(outside("secret")) + "' '" +
                               QFile::encodeName(path(".x")) + "' && /usr/bin/mv -T '" + QFile::encodeName(path(".x")) +
                               "' '" + QFile::encodeName(path(archiveName)) + "'\n"
                               "while [ $# -gt 0 ]; do\n"
                               "    [ \"$1\" = --attach ] && /usr/bin/cp \"$2\" '" + QFile::encodeName(received) + "'\n"
                               "    shift\n"
                               "done");
    BoxAnswers boxes({QMessageBox::No});
    click(dialog, "pushButton_SupportMail");
    ASSERT_EQ(tools.runs("xdg-email"), 1);
    EXPECT_TRUE(QFileInfo(path(archiveName)).isSymLink()) << "the stand-in swapped the name";
    QFile got(received);
    ASSERT_TRUE(got.open(QIODevice::ReadOnly));
    EXPECT_EQ(got.readAll(), archive);
    const std::optional<QList<Entry>> entries = readArchive(received);
    ASSERT_TRUE(entries);
    EXPECT_EQ(data(*entries, "kv4_usb.log"), "usb log");
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
