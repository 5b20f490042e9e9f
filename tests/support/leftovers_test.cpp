// What the start tidies after runs that ended before their time: pending files of the log folder
// and of its backup folder, and a redacted archive whose mapping took its place first.
#include "archive.h"
#include "dialogdriver.h"
#include "leftovers.h"
#include "plainfile.h"
#include "supportfixture.h"

#include <QFile>

#include <sys/stat.h>

namespace {

// The line a redacted build's mapping gives the archive that waits for its place.
QByteArray waitingArchive(const QString &folder, const QString &pending, quint64 inodeShift = 0)
{
    struct stat info {};
    stat((folder + pending).toLocal8Bit().constData(), &info);
    return "# written with " + pending.toUtf8().toHex() + ' ' + QByteArray::number(quint64(info.st_dev)) + ' ' +
           QByteArray::number(quint64(info.st_ino) + inodeShift) + '\n';
}

void makePrivate(const QString &path)
{
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

} // namespace

TEST_F(SupportTest, startRemovesWhatEndedRunsLeftInTheLogAndBackupFolders)
{
    makeFolder("backup");
    write("~Ab3dE9~zel_support.zip", "half an archive");
    write("backup/~Zz9yY8~kv4_usb.log", "half a backup");
    write("backup/kv4_usb.log", "a backup");
    const std::shared_ptr<const HeldFolder> backups = HeldFolder::hold(path("backup/"));
    QString running;
    const PlainFile stillWritten = backups->createUnique("~", "~kv4_cam.log", running);
    ASSERT_TRUE(stillWritten);

    EXPECT_EQ(tidyAfterEarlierRuns(held()), QStringList());
    EXPECT_FALSE(exists("~Ab3dE9~zel_support.zip"));
    EXPECT_FALSE(exists("backup/~Zz9yY8~kv4_usb.log"));
    EXPECT_EQ(read("backup/kv4_usb.log"), "a backup");
    EXPECT_TRUE(exists("backup/" + running)) << "a running program still writes it";
}

// A kill after the mapping of a redacted build took its place, before the archive followed,
// leaves the new mapping beside the earlier archive and the new one complete under its pending
// name: the next start puts that in place, so the pair is whole again. Only the very file the
// mapping names counts; anything else of that name is a leftover like any other.
TEST_F(SupportTest, startCompletesARedactedPairThatAKillCutInTwo)
{
    for (const bool same : {true, false}) {
        SCOPED_TRACE(same ? "the archive the mapping names" : "another file of that name");
        write(archiveName, "earlier archive");
        write("~Qq1wW2~zel_support.zip", "new archive");
        write("zel_support.redaction.txt",
              "# zel.logging: the originals behind the stand-ins of zel_support.zip. Keep this file; it is not for "
              "sending.\n" +
                  waitingArchive(logPath(), "~Qq1wW2~zel_support.zip", same ? 0 : 1) + "redacted-host1\tcam-line7\n");
        makePrivate(path("zel_support.redaction.txt"));

        tidyAfterEarlierRuns(held());
        EXPECT_EQ(read(archiveName), same ? "new archive" : "earlier archive");
        EXPECT_FALSE(exists("~Qq1wW2~zel_support.zip"));
    }
}

// Another user who may write the folder above renames the log folder and puts a link in its
// place: the dialog says so at the start, shows every component off, and a click makes nothing
// where the link points.
TEST_F(SupportTest, dialogRefusesALogFolderThatIsALink)
{
    write("kv4_usb.log", "log");
    ASSERT_TRUE(QDir().mkpath(outside()));
    ASSERT_TRUE(QDir().rename(QDir::cleanPath(logPath()), outside("zel")));
    ASSERT_TRUE(QFile::link(outside("zel"), QDir::cleanPath(logPath())));
    const QMap<QString, QByteArray> before = outsideSnapshot();
    BoxAnswers boxes({QMessageBox::Ok, QMessageBox::Ok});
    Dialog dialog;
    ASSERT_EQ(boxes.seen.size(), 1);
    EXPECT_TRUE(boxes.seen[0].text.contains("is a link")) << boxes.seen[0].text.toStdString();
    DialogDriver driver(dialog);
    EXPECT_EQ(driver.state("USB"), Qt::Unchecked);
    driver.clickCheckBox("USB3");
    click(dialog, "pushButton_ClearLog");
    EXPECT_EQ(outsideSnapshot(), before);
}
