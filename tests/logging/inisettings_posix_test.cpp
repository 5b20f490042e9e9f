// The INI update and the log files on POSIX file systems: modes, owners, pipes, symbolic links,
// file-size limits and a full disk.

#include "filesizelimit.h"
#include "inisettings.h"
#include "logfiles.h"
#include "plainfile.h"
#include "privileges.h"
#include "testenv.h"

#include <QFile>
#include <QFileInfo>

#include <iostream>

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

ino_t inode(const QString &path)
{
    struct stat info {};
    lstat(path.toLocal8Bit().constData(), &info);
    return info.st_ino;
}

} // namespace

TEST_F(LogFolderTest, logFileIsCreatedEmptyWithEveryPermission)
{
    ensureLogFile(*held(), "kv4_usb.log");
    const QFileInfo info(path("kv4_usb.log"));
    ASSERT_TRUE(info.isFile());
    EXPECT_EQ(info.size(), 0);
    EXPECT_EQ(int(info.permissions() & 0x7777), 0x7777);
}

TEST_F(LogFolderTest, existingReadOnlyLogGetsEveryPermissionAgain)
{
    write("kv4_usb.log", "old");
    QFile::setPermissions(path("kv4_usb.log"), QFileDevice::ReadOwner | QFileDevice::ReadGroup);
    ensureLogFile(*held(), "kv4_usb.log");
    EXPECT_EQ(int(QFileInfo(path("kv4_usb.log")).permissions() & 0x7777), 0x7777);
    EXPECT_EQ(read("kv4_usb.log"), "old");
}

TEST_F(LogFolderTest, pipeAndLinkNamedLikeALogAreLeftAlone)
{
    ASSERT_EQ(mkfifo(path("kv4_usb.log").toLocal8Bit().constData(), 0600), 0);
    alarm(20); // opening the pipe for writing would wait for a reader
    ensureLogFile(*held(), "kv4_usb.log");
    alarm(0);
    EXPECT_EQ(int(QFileInfo(path("kv4_usb.log")).permissions() & 0x0077), 0);

    write("target.txt", "private");
    QFile::setPermissions(path("target.txt"), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    ASSERT_TRUE(QFile::link(path("target.txt"), path("kv4_cam.log")));
    ensureLogFile(*held(), "kv4_cam.log");
    EXPECT_EQ(int(QFileInfo(path("target.txt")).permissions() & 0x0077), 0);
}

TEST_F(LogFolderTest, folderNamedLikeALogKeepsItsPermissions)
{
    QDir().mkpath(path("kv4_usb.log"));
    QFile::setPermissions(path("kv4_usb.log"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    ensureLogFile(*held(), "kv4_usb.log");
    EXPECT_TRUE(QFileInfo(path("kv4_usb.log")).isDir());
    EXPECT_EQ(int(QFileInfo(path("kv4_usb.log")).permissions() & 0x0077), 0);
}

TEST_F(LogFolderTest, readOnlyFolderGetsNoLogFile)
{
    QFile::setPermissions(logPath(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    ensureLogFile(*held(), "kv4_usb.log");
    QFile::setPermissions(logPath(), QFileDevice::Permissions(0x7700));
    EXPECT_FALSE(exists("kv4_usb.log"));
}

// A write that hits a file-size limit leaves the file as it was, whether the folder takes the new
// contents or no new file at all, and whether the limit allows none or part of the growth.
TEST_F(LogFolderTest, writeAtAFileSizeLimitLeavesTheFileByteIdentical)
{
    const QByteArray original = "; camera settings\r\n[CAMERA]\r\nGain=2\r\n";
    for (const bool folderWritable : {true, false}) {
        for (const rlim_t extra : {0, 10}) {
            write("kv4_usb_param.ini", original);
            QFile::setPermissions(logPath(), folderWritable ? QFileDevice::Permissions(0x7700)
                                                            : QFileDevice::ReadOwner | QFileDevice::ExeOwner);
            Rewrite result;
            {
                const FileSizeLimit limit(rlim_t(original.size()) + extra);
                failWritesPastSizeLimit();
                result = updateLoggingIni(held(), "kv4_usb_param.ini", "kv4_usb.log", "/var/zel/", "0x0000FC03");
            }
            QFile::setPermissions(logPath(), QFileDevice::Permissions(0x7700));
            EXPECT_EQ(result, Rewrite::Untouched) << folderWritable << " " << extra;
            EXPECT_EQ(read("kv4_usb_param.ini"), original) << folderWritable << " " << extra;
            EXPECT_EQ(QDir(logPath()).entryList(QDir::Files | QDir::Hidden), QStringList{"kv4_usb_param.ini"});
        }
    }
}

// The new contents take the old file's place in one step (a new file), with its permissions.
TEST_F(LogFolderTest, iniFileIsReplacedWholeKeepingItsPermissions)
{
    write("kv4_usb_param.ini", "[LOGGING]\r\n");
    const QFileDevice::Permissions mode = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
    QFile::setPermissions(path("kv4_usb_param.ini"), mode);
    const ino_t before = inode(path("kv4_usb_param.ini"));
    EXPECT_EQ(updateLoggingIni(held(), "kv4_usb_param.ini", "kv4_usb.log", "/z/", "0x0000FC03"), Rewrite::Written);
    EXPECT_NE(inode(path("kv4_usb_param.ini")), before);
    EXPECT_EQ(QFile::permissions(path("kv4_usb_param.ini")) & 0x7077, mode); // owner, group, others
    EXPECT_EQ(read("kv4_usb_param.ini"), "[LOGGING]\r\nLogname=kv4_usb.log\r\nLogpath=/z/\r\nLogging=0x0000FC03\r\n");
}

// Where the folder takes no new file, there is no room for the old bytes either, should a write
// in place break off: a writable INI file is left as it is.
TEST_F(LogFolderTest, folderWithoutRoomForANewFileLeavesTheIniUntouched)
{
    const QByteArray original = "[LOGGING]\r\nLogname=kv4_usb.log\r\nLogpath=/z/\r\nLogging=0x0000FFFF\r\nExtra=1\r\n";
    write("kv4_usb_param.ini", original);
    QFile::setPermissions(logPath(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(updateLoggingIni(held(), "kv4_usb_param.ini", "kv4_usb.log", "/z/", "0x0000FC01"), Rewrite::Untouched);
    QFile::setPermissions(logPath(), QFileDevice::Permissions(0x7700));
    EXPECT_EQ(read("kv4_usb_param.ini"), original);
}

// An INI file of another owner that anybody may write (root's, say, changed by an ordinary user)
// cannot be replaced by a new file of the same owner: it is rewritten in place, with its old
// bytes kept aside meanwhile. Needs root, to give the file away and then be held to its modes.
class InPlaceRewrite : public LogFolderTest {
protected:
    bool giveAway(const QString &name)
    {
        const QByteArray file = path(name).toLocal8Bit();
        const bool given = restoreOverrides() && chown(file.constData(), 65534, 65534) == 0 &&
                           chmod(file.constData(), 0666) == 0;
        dropFileOverrides();
        return given;
    }
    QStringList recoveryFiles() const { return QDir(logPath()).entryList({"*.restore"}, QDir::Files | QDir::Hidden); }
};

TEST_F(InPlaceRewrite, writesInPlaceAndLeavesNoRecoveryFile)
{
    write("kv4_usb_param.ini", "[LOGGING]\r\nLogging=0x0000FFFF\r\n");
    if (!giveAway("kv4_usb_param.ini"))
        GTEST_SKIP() << "the owner of a file cannot be changed here";
    const ino_t before = inode(path("kv4_usb_param.ini"));
    EXPECT_EQ(updateLoggingIni(held(), "kv4_usb_param.ini", "kv4_usb.log", "/z/", "0x0000FC01"), Rewrite::Written);
    EXPECT_EQ(inode(path("kv4_usb_param.ini")), before);
    EXPECT_EQ(QFileInfo(path("kv4_usb_param.ini")).ownerId(), 65534u);
    EXPECT_EQ(read("kv4_usb_param.ini"), "[LOGGING]\r\nLogging=0x0000FC01\r\nLogname=kv4_usb.log\r\nLogpath=/z/\r\n");
    EXPECT_EQ(recoveryFiles(), QStringList());
}

// The growth is written first; a file-size limit lets part of it land, then fails the rest. The
// file is then put back byte for byte, its length included.
TEST_F(InPlaceRewrite, writeThatBreaksOffPartWayPutsTheOldBytesBack)
{
    const QByteArray original = "[LOGGING]\r\nLogging=0x0000FFFF\r\n";
    write("kv4_usb_param.ini", original);
    if (!giveAway("kv4_usb_param.ini"))
        GTEST_SKIP() << "the owner of a file cannot be changed here";
    Rewrite result;
    {
        const FileSizeLimit limit(rlim_t(original.size()) + 10);
        failWritesPastSizeLimit();
        result = updateLoggingIni(held(), "kv4_usb_param.ini", "kv4_usb.log", "/var/zel/", "0x0000FC03");
    }
    EXPECT_EQ(result, Rewrite::Untouched);
    EXPECT_EQ(read("kv4_usb_param.ini"), original);
    EXPECT_EQ(recoveryFiles(), QStringList());
}

// What a rewrite in place keeps beside the file it rewrites: the mark, the file's name and its
// identity on the disk, then its old bytes.
QByteArray recovery(const QString &folder, const QString &name, const QByteArray &old)
{
    struct stat info {};
    lstat((folder + name).toLocal8Bit().constData(), &info);
    return "zel.logging recovery 1\n" + name.toUtf8().toHex() + '\n' + QByteArray::number(quint64(info.st_dev)) + ' ' +
           QByteArray::number(quint64(info.st_ino)) + "\n\n" + old;
}

// A rewrite in place that a crash cut short left new bytes over old ones, and its recovery file:
// the next start puts the old contents back. A recovery file of another user, one still held by
// a running rewrite, and one whose file is gone stay untouched; the last is reported.
TEST_F(InPlaceRewrite, nextStartPutsBackWhatACrashCutShort)
{
    const auto privately = [&](const QString &name, const QByteArray &bytes) {
        write(name, bytes);
        QFile::setPermissions(path(name), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    };
    write("kv4_usb_param.ini", "[LOGGING]\r\nLogging=0x0000FC01\r\nLogname=kv4_usb.log\r\nL");
    privately("kv4_usb_param.ini~Ab3dE9.restore",
              recovery(logPath(), "kv4_usb_param.ini", "[LOGGING]\r\nLogging=0x0000FFFF\r\n"));
    write("kv4_cam.ini", "[LOGGING]\r\n");
    write("kv4_cam.ini~Zz9yY8.restore", recovery(logPath(), "kv4_cam.ini", "planted"));
    if (!giveAway("kv4_cam.ini~Zz9yY8.restore"))
        GTEST_SKIP() << "the owner of a file cannot be changed here";
    privately("zel_conv.ini~Qq1wW2.restore", recovery(logPath(), "zel_conv.ini", "of a missing file"));

    write("kv4_gige_param.ini", "being written");
    const std::shared_ptr<const HeldFolder> folder = held();
    ASSERT_TRUE(folder);
    QString running;
    const PlainFile runningFile = folder->createUnique("kv4_gige_param.ini~", ".restore", running);
    ASSERT_TRUE(runningFile);

    EXPECT_EQ(restoreInterruptedRewrites(folder), QStringList({"zel_conv.ini~Qq1wW2.restore"}));
    EXPECT_EQ(read("kv4_usb_param.ini"), "[LOGGING]\r\nLogging=0x0000FFFF\r\n");
    EXPECT_EQ(read("kv4_cam.ini"), "[LOGGING]\r\n");
    EXPECT_EQ(read("kv4_gige_param.ini"), "being written");
    QStringList left = recoveryFiles();
    left.sort();
    QStringList expected{"kv4_cam.ini~Zz9yY8.restore", "zel_conv.ini~Qq1wW2.restore", running};
    expected.sort();
    EXPECT_EQ(left, expected);
}

// Another user renames a file of ours (the redaction's private mapping, say) into the folder
// under a recovery file's name, beside a file of his own of that name, or moves there a real
// recovery file of ours that was made for another file: neither is written into his file. Both
// are left alone and reported.
TEST_F(InPlaceRewrite, recoveryFileGoesOnlyIntoTheFileItWasMadeFor)
{
    write("mine", "the other user's file");
    if (!giveAway("mine"))
        GTEST_SKIP() << "the owner of a file cannot be changed here";
    write("mine~abcdef.restore", "host1\tcam-line7\n");
    QFile::setPermissions(path("mine~abcdef.restore"), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    write("kv4_cam.ini", "[LOGGING]\r\n");
    write("mine~Ghijk1.restore", recovery(logPath(), "kv4_cam.ini", "[LOGGING]\r\nLogging=0x0000FFFF\r\n"));
    write("other", "ours");
    write("mine~Lmnop2.restore", recovery(logPath(), "other", "bytes of another file"));

    QStringList foreign = restoreInterruptedRewrites(held());
    foreign.sort();
    EXPECT_EQ(foreign, QStringList({"mine~Ghijk1.restore", "mine~Lmnop2.restore", "mine~abcdef.restore"}));
    EXPECT_EQ(read("mine"), "the other user's file");
    EXPECT_EQ(read("mine~abcdef.restore"), "host1\tcam-line7\n");
    EXPECT_EQ(recoveryFiles().size(), 3);
}

// A rewrite that broke off keeps its recovery file for the next start. When a later update of
// the same file succeeds before that start, the old recovery file must not undo it.
TEST_F(InPlaceRewrite, brokenRewritesRecoveryFileNeverUndoesALaterUpdate)
{
    write("kv4_usb_param.ini", "[LOGGING]\r\nLogging=0x0000FFFF\r\n");
    if (!giveAway("kv4_usb_param.ini"))
        GTEST_SKIP() << "the owner of a file cannot be changed here";
    write("kv4_usb_param.ini~Ab3dE9.restore", recovery(logPath(), "kv4_usb_param.ini", "[OLD]\r\n"));
    QFile::setPermissions(path("kv4_usb_param.ini~Ab3dE9.restore"), QFileDevice::ReadOwner | QFileDevice::WriteOwner);

    ASSERT_EQ(updateLoggingIni(held(), "kv4_usb_param.ini", "kv4_usb.log", "/z/", "0x0000FC01"), Rewrite::Written);
    EXPECT_EQ(restoreInterruptedRewrites(held()), QStringList());
    EXPECT_EQ(read("kv4_usb_param.ini"), "[LOGGING]\r\nLogging=0x0000FC01\r\nLogname=kv4_usb.log\r\nLogpath=/z/\r\n");
    EXPECT_EQ(recoveryFiles(), QStringList());
}

// Links (also to a file that does not exist) and pipes of an INI's name are not INI files: the
// files outside stay byte-identical, nothing is created, and nothing waits on the pipe.
TEST_F(LogFolderTest, linksAndPipesNamedLikeAnIniAreLeftAlone)
{
    ASSERT_TRUE(QDir().mkpath(outside()));
    QFile file(outside("private.ini"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[PRIVATE]\r\nkey=1\r\n");
    file.close();
    ASSERT_TRUE(QFile::link(outside("private.ini"), path("kv4_cam.ini")));
    ASSERT_TRUE(QFile::link(outside("missing.ini"), path("zel_conv.ini")));
    ASSERT_EQ(mkfifo(path("kv4_usb_param.ini").toLocal8Bit().constData(), 0600), 0);
    const auto before = outsideSnapshot();
    alarm(20); // an open of the pipe would wait for a writer
    for (const char *name : {"kv4_cam.ini", "zel_conv.ini", "kv4_usb_param.ini"})
        EXPECT_EQ(updateLoggingIni(held(), name, "a.log", logPath(), "0x0000FC03"), Rewrite::Untouched) << name;
    alarm(0);
    EXPECT_EQ(outsideSnapshot(), before);
    EXPECT_TRUE(QFileInfo(path("kv4_cam.ini")).isSymLink());
}

// A file with a second name may be anybody's file, linked in under an INI file's name where
// hard links to others' files are allowed: it is never opened for the update, not even to be
// replaced (its copy would land in the folder), whether or not the folder takes new files.
TEST_F(LogFolderTest, hardLinkedIniFileIsNeverWrittenThrough)
{
    for (const bool folderWritable : {true, false}) {
        QFile::remove(outside("kv4_usb_param.ini"));
        write("kv4_usb_param.ini", "[LOGGING]\r\n");
        ASSERT_TRUE(QDir().mkpath(outside()));
        ASSERT_EQ(link(path("kv4_usb_param.ini").toLocal8Bit().constData(),
                       outside("kv4_usb_param.ini").toLocal8Bit().constData()),
                  0);
        QFile::setPermissions(logPath(), folderWritable ? QFileDevice::Permissions(0x7700)
                                                        : QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        EXPECT_EQ(updateLoggingIni(held(), "kv4_usb_param.ini", "a.log", "/z/", "0x0000FC03"),
                  Rewrite::Untouched);
        QFile::setPermissions(logPath(), QFileDevice::Permissions(0x7700));
        QFile file(outside("kv4_usb_param.ini"));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), "[LOGGING]\r\n") << folderWritable;
    }
}

// On a full disk the update leaves the file byte-identical, through a temporary file and in
// place. The file fills its one page, so any growth needs a new one. The disk is a small tmpfs
// in a child process's own mount namespace; where mounting is not allowed, the file-size limit
// test above stands in.
TEST_F(LogFolderTest, fullDiskLeavesTheFileByteIdentical)
{
    const QString folder = root.path() + "/full";
    ASSERT_TRUE(QDir().mkpath(folder));
    const QByteArray original =
        "[LOGGING]\r\nLogging=0x0000FC01\r\n[CAMERA]\r\nLut=" + QByteArray(4049, '7') + "\r\n";
    const pid_t child = fork();
    if (child == 0) {
        const QByteArray mountPoint = folder.toLocal8Bit();
        if (!restoreOverrides() || unshare(CLONE_NEWNS) != 0 ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", mountPoint.constData(), "tmpfs", 0, "size=64k") != 0)
            _exit(2);
        dropFileOverrides();
        const QString ini = folder + "/kv4_usb_param.ini";
        QFile file(ini);
        QFile filler(folder + "/filler");
        if (!file.open(QIODevice::WriteOnly) || file.write(original) != original.size() || !file.flush() ||
            !filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            _exit(3);
        file.close();
        while (filler.write(QByteArray(4096, 'f')) == 4096) {
        }
        bool kept = true;
        for (const auto mode : {QFileDevice::Permissions(0x7700), QFileDevice::ReadOwner | QFileDevice::ExeOwner}) {
            QFile::setPermissions(folder, mode);
            const Rewrite result = updateLoggingIni(HeldFolder::hold(folder + "/"), "kv4_usb_param.ini", "kv4_usb.log",
                                                    "/var/zel/", "0x0000FC03");
            QFile::setPermissions(folder, QFileDevice::Permissions(0x7700));
            file.open(QIODevice::ReadOnly);
            const bool same = result == Rewrite::Untouched && file.readAll() == original &&
                              QDir(folder).entryList(QDir::Files | QDir::Hidden).size() == 2;
            file.close();
            if (!same)
                std::cerr << "changed with folder mode " << std::hex << int(mode) << "\n";
            kept = kept && same;
        }
        _exit(kept ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 2) {
        std::cout << "No tmpfs may be mounted here; the file-size limit test stands in.\n";
        return;
    }
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
