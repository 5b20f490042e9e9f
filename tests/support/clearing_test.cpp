// Clear Logfiles: backups, emptied logs, older logs and the held backup folder; and Explore.
#include "archive.h"
#include "clearing.h"
#include "dialogdriver.h"
#include "filesizelimit.h"
#include "plainfile.h"
#include "supportfixture.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

// Takes the place of the file manager.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened << url; }
};

namespace {

// --- Clear Logfiles ---

TEST(OlderLogPatterns, oneForEveryLogWithABaseName)
{
    EXPECT_EQ(olderLogPatterns({"/f/kv4_usb.log", "/f/.log", "/f/zel_conv.log", "/f/a.b.log"}),
              QStringList({"kv4_usb_*.log", "zel_conv_*.log", "a.b_*.log"}));
    EXPECT_TRUE(olderLogPatterns({}).isEmpty());
}

TEST_F(SupportTest, clearingBacksUpNonEmptyLogsEmptiesThemAndRecreatesMissingOnes)
{
    write("kv4_cam.log", "sdk log"); // zel.sdk is on; its zel_conv.log is missing
    ASSERT_TRUE(QFile::setPermissions(path("kv4_cam.log"), QFileDevice::Permissions(0x7755)));
    write("kv4_usb.log", "");        // USB is on with an empty log
    makeFolder("backup");
    write("backup/kv4_usb.log", "earlier backup");
    write("kv4_cam.ini", "[LOGGING]\r\nLogging=0x0000FFFF\r\n");
    write("notes.txt", "mine");
    Dialog dialog;
    DialogDriver driver(dialog);
    BoxAnswers boxes;
    click(dialog, "pushButton_ClearLog");

    EXPECT_TRUE(boxes.seen.isEmpty());
    EXPECT_EQ(read("backup/kv4_cam.log"), "sdk log");
    EXPECT_EQ(QFile::permissions(path("backup/kv4_cam.log")), QFileDevice::Permissions(0x7755));
    EXPECT_EQ(read("backup/kv4_usb.log"), "earlier backup");
    EXPECT_FALSE(exists("backup/zel_conv.log"));
    for (const char *log : {"kv4_cam.log", "zel_conv.log", "kv4_usb.log"}) {
        EXPECT_TRUE(QFileInfo(path(log)).isFile()) << log;
        EXPECT_EQ(read(log), "") << log;
    }
    EXPECT_EQ(read("kv4_cam.ini"), "[LOGGING]\r\nLogging=0x0000FFFF\r\n");
    EXPECT_EQ(read("notes.txt"), "mine");
    EXPECT_EQ(folderNames("backup"), QStringList({"kv4_cam.log", "kv4_usb.log"}));

    // The watch is back: a log created by another program now shows in the tree.
    write("kv4_usb3.log", "");
    ASSERT_TRUE(eventually([&] { return driver.state("USB3") == Qt::Checked; }));
}

TEST_F(SupportTest, clearingWithNothingSwitchedOnOnlyCreatesTheBackupFolder)
{
    write("kv4_gige_1.log", "older log of a component that is off");
    Dialog dialog;
    BoxAnswers boxes;
    click(dialog, "pushButton_ClearLog");
    EXPECT_TRUE(boxes.seen.isEmpty());
    EXPECT_EQ(folderNames(), QStringList({"backup", "kv4_gige_1.log"}));
    EXPECT_TRUE(folderNames("backup").isEmpty());
}

TEST_F(SupportTest, secondClearKeepsTheFirstBackupsAndALaterOneReplacesThem)
{
    write("kv4_usb.log", "first session");
    Dialog dialog;
    click(dialog, "pushButton_ClearLog");
    click(dialog, "pushButton_ClearLog");
    EXPECT_EQ(read("backup/kv4_usb.log"), "first session");
    EXPECT_EQ(read("kv4_usb.log"), "");

    write("kv4_usb.log", "second session");
    click(dialog, "pushButton_ClearLog");
    EXPECT_EQ(read("backup/kv4_usb.log"), "second session");
    EXPECT_EQ(folderNames("backup"), QStringList({"kv4_usb.log"}));
}

// A log whose backup could not be made keeps its contents, and its earlier backup stays; the
// user is told which log that is. A log that cannot even be read has nothing to lose.
TEST_F(SupportTest, failedCopyKeepsTheLogAndItsEarlierBackup)
{
    const struct {
        const char *name;
        std::function<void()> spoil;
        bool sizeLimit;
        bool told;
    } rows[] = {
        {"unreadableLog", [this] { QFile::setPermissions(path("kv4_usb.log"), QFileDevice::WriteOwner); }, false,
         false},
        {"backupIsAFolder",
         [this] {
             QFile::remove(path("backup/kv4_usb.log"));
             makeFolder("backup/kv4_usb.log");
         },
         false, true},
        {"fileSizeLimit", [] {}, true, true},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        QDir(path("backup")).removeRecursively();
        makeFolder("backup");
        write("backup/kv4_usb.log", "earlier backup");
        write("kv4_usb.log", QByteArray(100000, 'u'));
        write("kv4_cam.log", "sdk log");
        row.spoil();
        Dialog dialog;
        BoxAnswers boxes;
        {
            std::optional<FileSizeLimit> limit;
            if (row.sizeLimit) {
                limit.emplace(50000);
                failWritesPastSizeLimit(); // as the program does at start-up
            }
            click(dialog, "pushButton_ClearLog");
        }
        QFile::setPermissions(path("kv4_usb.log"), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        EXPECT_EQ(read("kv4_usb.log"), QByteArray(100000, 'u'));
        if (QFileInfo(path("backup/kv4_usb.log")).isFile()) {
            EXPECT_EQ(read("backup/kv4_usb.log"), "earlier backup");
        }
        EXPECT_EQ(read("backup/kv4_cam.log"), "sdk log");
        EXPECT_EQ(read("kv4_cam.log"), "");
        EXPECT_EQ(folderNames("backup"), QStringList({"kv4_cam.log", "kv4_usb.log"})) << "no copy left over";
        if (row.told) {
            ASSERT_EQ(boxes.seen.size(), 1);
            EXPECT_EQ(boxes.seen[0].icon, QMessageBox::Warning);
            EXPECT_TRUE(boxes.seen[0].text.contains("kv4_usb.log")) << boxes.seen[0].text.toStdString();
            EXPECT_FALSE(boxes.seen[0].text.contains("kv4_cam.log")) << boxes.seen[0].text.toStdString();
        } else {
            EXPECT_EQ(boxes.seen.size(), 0);
        }
    }
}

TEST_F(SupportTest, backupThatIsNoRealFolderTakesNoBackupsSoNoLogIsEmptied)
{
    write("kv4_usb.log", "precious");
    write("kv4_usb_1.log", "older");
    QDir().mkpath(outside("folder"));
    const struct {
        const char *name;
        std::function<void()> make;
    } rows[] = {
        {"file", [this] { write("backup", "a file where the folder should be"); }},
        {"linkToAFolder", [this] { linkOut("backup", "folder"); }},
        {"danglingLink", [this] { linkOut("backup", "nothing"); }},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        QFile::remove(path("backup"));
        row.make();
        const QMap<QString, QByteArray> before = outsideSnapshot();
        Dialog dialog;
        BoxAnswers boxes({QMessageBox::Yes});
        click(dialog, "pushButton_ClearLog");
        EXPECT_EQ(read("kv4_usb.log"), "precious");
        EXPECT_EQ(read("kv4_usb_1.log"), "older");
        ASSERT_EQ(boxes.seen.size(), 1) << "no question on older logs, which cannot go anywhere, but a warning";
        EXPECT_EQ(boxes.seen[0].icon, QMessageBox::Warning);
        EXPECT_TRUE(boxes.seen[0].text.contains("backup: is no folder")) << boxes.seen[0].text.toStdString();
        EXPECT_TRUE(boxes.seen[0].text.contains("kv4_usb.log")) << boxes.seen[0].text.toStdString();
        EXPECT_EQ(outsideSnapshot(), before);
    }
}

// Another local user swaps the backup folder for a link to a folder outside after it was
// checked: the backups, the older logs and what is packed still go to and come from the folder
// that was checked.
TEST_F(SupportTest, backupFolderSwappedForALinkAfterItsCheckIsStillTheOneUsed)
{
    write("kv4_usb.log", "usb log");
    write("kv4_usb_1.log", "older");
    makeFolder("backup");
    write("backup/kv4_cam.log", "camera backup");
    const std::shared_ptr<const HeldFolder> logs = held();
    const std::shared_ptr<const HeldFolder> backups = makeBackupFolder(*logs);
    ASSERT_TRUE(backups);
    ASSERT_TRUE(QDir().rename(path("backup"), path("moved")));
    QDir().mkpath(outside("folder"));
    QFile secret(outside("folder/secret.log"));
    ASSERT_TRUE(secret.open(QIODevice::WriteOnly));
    secret.write("private");
    secret.close();
    linkOut("backup", "folder");
    const QMap<QString, QByteArray> before = outsideSnapshot();

    backUpAndEmpty(*logs, "kv4_usb.log", *backups);
    moveOlderLogs(*logs, olderLogPatterns({path("kv4_usb.log")}), *backups);
    EXPECT_EQ(read("kv4_usb.log"), "");
    EXPECT_EQ(read("moved/kv4_usb.log"), "usb log");
    EXPECT_EQ(read("moved/kv4_usb_1.log"), "older");
    EXPECT_EQ(folderNames("moved"), QStringList({"kv4_cam.log", "kv4_usb.log", "kv4_usb_1.log"}));

    QStringList packed;
    for (const ArchiveEntry &entry : archiveEntries(logs, {}, {}, backups)) {
        if (openSource(entry))
            packed << entry.name;
    }
    EXPECT_EQ(packed, QStringList({"backup/kv4_cam.log", "backup/kv4_usb.log", "backup/kv4_usb_1.log"}));
    EXPECT_EQ(outsideSnapshot(), before);
}

TEST_F(SupportTest, exploreOpensTheLogFolder)
{
    UrlRecorder recorder;
    // A handler for the scheme is asked before the desktop's file manager.
    QDesktopServices::setUrlHandler("file", &recorder, "open");
    Dialog dialog;
    click(dialog, "pushButton_ExploreLog");
    QDesktopServices::unsetUrlHandler("file");
    EXPECT_EQ(recorder.opened, QList<QUrl>({QUrl::fromLocalFile(logPath())}));
}

// --- older logs ---

struct OlderLogCase {
    const char *name;
    QStringList files;                   // besides the current logs; a name ending in "/" is a folder
    QMessageBox::StandardButton answer;  // to the one question, where it comes
    bool asked;
    QStringList moved; // into the backup folder
    QStringList kept;  // in the log folder
};

void PrintTo(const OlderLogCase &row, std::ostream *out)
{
    *out << row.name;
}

class OlderLogs : public SupportTest, public ::testing::WithParamInterface<OlderLogCase> {};

TEST_P(OlderLogs, areMovedOnlyOnYesAfterOneQuestion)
{
    const OlderLogCase &row = GetParam();
    write("kv4_usb.log", "usb now"); // USB and zel.sdk are on
    write("kv4_cam.log", "sdk now");
    makeFolder("backup");
    write("backup/kv4_usb_1.log", "backup of the same name");
    for (const QString &file : row.files) {
        if (file.endsWith('/'))
            makeFolder(file);
        else
            write(file, file.toUtf8());
    }
    Dialog dialog;
    BoxAnswers boxes({row.answer});
    click(dialog, "pushButton_ClearLog");

    ASSERT_EQ(boxes.seen.size(), row.asked ? 1 : 0);
    if (row.asked) {
        EXPECT_EQ(boxes.seen[0].title, "Delete old log files");
        EXPECT_EQ(boxes.seen[0].text, "Do you also want to delete older log files?");
        EXPECT_EQ(boxes.seen[0].icon, QMessageBox::Question);
        EXPECT_EQ(boxes.seen[0].buttons, QMessageBox::Yes | QMessageBox::No);
    }
    for (const QString &file : row.moved) {
        EXPECT_FALSE(exists(file)) << file.toStdString();
        EXPECT_EQ(read("backup/" + file), file.toUtf8()) << file.toStdString();
    }
    for (const QString &file : row.kept)
        EXPECT_TRUE(exists(file)) << file.toStdString();
    if (!row.moved.contains("kv4_usb_1.log")) {
        EXPECT_EQ(read("backup/kv4_usb_1.log"), "backup of the same name");
    }
    // The current logs are backed up and emptied whatever the answer.
    EXPECT_EQ(read("backup/kv4_usb.log"), "usb now");
    EXPECT_EQ(read("kv4_usb.log"), "");
    EXPECT_EQ(read("kv4_cam.log"), "");
}

INSTANTIATE_TEST_SUITE_P(
    Clearing, OlderLogs,
    ::testing::Values(
        OlderLogCase{"yesMovesThemReplacingNamesakes", {"kv4_usb_1.log", "kv4_usb_2.log"}, QMessageBox::Yes, true,
                     {"kv4_usb_1.log", "kv4_usb_2.log"}, {}},
        OlderLogCase{"noKeepsThem", {"kv4_usb_1.log", "kv4_usb_2.log"}, QMessageBox::No, true, {},
                     {"kv4_usb_1.log", "kv4_usb_2.log"}},
        OlderLogCase{"closingTheBoxKeepsThem", {"kv4_usb_1.log"}, QMessageBox::NoButton, true, {}, {"kv4_usb_1.log"}},
        OlderLogCase{"severalPatternsAskOnceAndAllMove",
                     {"kv4_usb_1.log", "kv4_cam_2020.log", "zel_conv_old.log"}, QMessageBox::Yes, true,
                     {"kv4_usb_1.log", "kv4_cam_2020.log", "zel_conv_old.log"}, {}},
        OlderLogCase{"letterCaseIsIgnored", {"KV4_USB_OLD.LOG", "Kv4_Cam_1.Log"}, QMessageBox::Yes, true,
                     {"KV4_USB_OLD.LOG", "Kv4_Cam_1.Log"}, {}},
        OlderLogCase{"aFolderAloneRaisesNoQuestion", {"kv4_usb_old.log/"}, QMessageBox::Yes, false, {},
                     {"kv4_usb_old.log/"}},
        OlderLogCase{"foldersStayWhenFilesMove", {"kv4_usb_old.log/", "kv4_usb_2.log"}, QMessageBox::Yes, true,
                     {"kv4_usb_2.log"}, {"kv4_usb_old.log/"}},
        OlderLogCase{"componentsThatAreOffKeepTheirs", {"kv4_gige_1.log", "kv4_usb3_1.log", "kv4_usb1.log"},
                     QMessageBox::Yes, false, {}, {"kv4_gige_1.log", "kv4_usb3_1.log", "kv4_usb1.log"}},
        OlderLogCase{"onlyLogsMatch", {"kv4_usb_1.txt", "kv4_usb_1.log.bak"}, QMessageBox::Yes, false, {},
                     {"kv4_usb_1.txt", "kv4_usb_1.log.bak"}}),
    [](const ::testing::TestParamInfo<OlderLogCase> &info) { return std::string(info.param.name); });

// --- hostile entries in the log folder ---

TEST_F(SupportTest, clearingNeverReachesOutsideTheFolderAndLosesNoLog)
{
    write("kv4_cam.log", "sdk log");
    linkOut("zel_conv.log", "private.txt", "private");
    write("zel_recorder.log", "recorder log");
    makeFolder("backup");
    linkOut("backup/kv4_cam.log", "new.txt");                // dangling
    linkOut("backup/zel_recorder.log", "old.txt", "old");    // to an outside file
    write("kv4_cam_1.log", "older sdk log");
    linkOut("backup/kv4_cam_1.log", "older.txt", "older");
    linkOut("kv4_cam_2.log", "private2.txt", "private2"); // a link is no older log
    const QMap<QString, QByteArray> before = outsideSnapshot();
    Dialog dialog;
    DialogDriver driver(dialog);
    BoxAnswers boxes({QMessageBox::Yes});
    click(dialog, "pushButton_ClearLog");

    EXPECT_EQ(outsideSnapshot(), before);
    EXPECT_EQ(read("backup/kv4_cam.log"), "sdk log");
    EXPECT_EQ(read("backup/zel_recorder.log"), "recorder log");
    EXPECT_EQ(read("backup/kv4_cam_1.log"), "older sdk log");
    for (const char *name : {"backup/kv4_cam.log", "backup/zel_recorder.log", "backup/kv4_cam_1.log"})
        EXPECT_EQ(entryKind(path(name)), EntryKind::PlainFile) << name;
    EXPECT_EQ(folderNames("backup"), QStringList({"kv4_cam.log", "kv4_cam_1.log", "zel_recorder.log"}));
    EXPECT_EQ(read("kv4_cam.log"), "");
    EXPECT_EQ(read("zel_recorder.log"), "");
    EXPECT_TRUE(QFileInfo(path("zel_conv.log")).isSymLink());
    EXPECT_TRUE(QFileInfo(path("kv4_cam_2.log")).isSymLink());
}

// A log that is a second name of a file outside the folder, writable by its group, is no log:
// clearing neither empties nor copies it, and switching logging on again gives it no
// permissions. A backup of that kind is replaced, not written through; an older log of that
// kind stays where it is.
TEST_F(SupportTest, hardLinkedFilesAreNeitherEmptiedNorCopiedNorOpenedToAll)
{
    write("kv4_cam.log", "sdk log");
    hardLinkOut("zel_conv.log", "group.txt", "outside text");
    makeFolder("backup");
    hardLinkOut("backup/kv4_cam.log", "old.txt", "old text");
    hardLinkOut("kv4_cam_1.log", "older.txt", "older text");
    const QMap<QString, QByteArray> before = outsideSnapshot();
    Dialog dialog;
    BoxAnswers boxes({QMessageBox::Yes});
    click(dialog, "pushButton_ClearLog");

    EXPECT_EQ(outsideSnapshot(), before);
    for (const char *name : {"group.txt", "old.txt", "older.txt"})
        EXPECT_EQ(QFile::permissions(outside(name)) & 0x0777, QFileDevice::ReadUser | QFileDevice::WriteUser |
                                                                   QFileDevice::ReadGroup | QFileDevice::WriteGroup)
            << name;
    EXPECT_EQ(read("backup/kv4_cam.log"), "sdk log");
    EXPECT_EQ(read("kv4_cam.log"), "");
    EXPECT_EQ(read("zel_conv.log"), "outside text");
    EXPECT_EQ(read("kv4_cam_1.log"), "older text");
    EXPECT_EQ(folderNames("backup"), QStringList({"kv4_cam.log"}));
    EXPECT_TRUE(boxes.seen.isEmpty()) << "a second name is no older log to ask about";
}

// An older log whose name is not UTF-8 (Latin-1 "kv4_cam_caf\xe9.log") is found and moved by
// its own bytes.
TEST_F(SupportTest, olderLogNamedInLatin1IsMovedUnderItsOwnBytes)
{
    write("kv4_cam.log", "sdk log");
    const QByteArray latin1 = "kv4_cam_caf\xe9.log";
    const int fd = ::open((QFile::encodeName(logPath()) + latin1).constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "older", 5), 5);
    ::close(fd);
    Dialog dialog;
    BoxAnswers boxes({QMessageBox::Yes});
    click(dialog, "pushButton_ClearLog");
    ASSERT_EQ(boxes.seen.size(), 1) << "the older log was not found";
    EXPECT_NE(::access((QFile::encodeName(logPath()) + "backup/" + latin1).constData(), F_OK), -1);
    EXPECT_EQ(::access((QFile::encodeName(logPath()) + latin1).constData(), F_OK), -1);
}

// Components append to their logs while they are cleared: whatever they write goes either into
// the backup or stays in the log, in order, and nothing twice.
TEST_F(SupportTest, linesAppendedDuringClearingStayInOrderAndAreNeverDoubled)
{
    QByteArray start;
    for (int line = 0; line < 200000; ++line)
        start += "line " + QByteArray::number(line) + "\n";
    write("kv4_cam.log", start);
    write("zel_conv.log", "");
    Dialog dialog;
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        const int fd = ::open(QFile::encodeName(path("kv4_cam.log")).constData(), O_WRONLY | O_APPEND);
        for (int line = 200000; fd >= 0 && !stop; ++line) {
            const QByteArray text = "line " + QByteArray::number(line) + "\n";
            if (::write(fd, text.constData(), size_t(text.size())) != text.size())
                break;
        }
        ::close(fd);
    });
    BoxAnswers boxes;
    click(dialog, "pushButton_ClearLog");
    stop = true;
    writer.join();
    EXPECT_TRUE(boxes.seen.isEmpty()) << "the log was not emptied";
    const QList<QByteArray> lines = (read("backup/kv4_cam.log") + read("kv4_cam.log")).split('\n');
    ASSERT_GT(lines.size(), 200000);
    int previous = -1;
    int gaps = 0;
    for (const QByteArray &line : lines.mid(0, lines.size() - 1)) {
        const int number = line.mid(5).toInt();
        ASSERT_GT(number, previous) << "out of order or twice";
        gaps += number != previous + 1;
        previous = number;
    }
    EXPECT_LE(gaps, 1) << "only the moment between the last look at the log's size and its emptying can lose lines";
    EXPECT_TRUE(read("backup/kv4_cam.log").startsWith(start));
}

} // namespace

#include "clearing_test.moc"
