// The safe-file rules that hold on every platform: hard links, pending files and the leftovers
// of a run that ended before its time.

#include "links.h"
#include "plainfile.h"
#include "testenv.h"

#include <QFile>
#include <QFileInfo>

namespace {

class FilesTest : public LogFolderTest {
protected:
    FilesTest()
    {
        write("file", "regular");
        QDir().mkpath(path("folder"));
        QFile private_(outside("private.txt"));
        private_.open(QIODevice::WriteOnly);
        private_.write("private");
    }
    QStringList pendingNames() const
    {
        QStringList names = QDir(logPath()).entryList({"~*"}, QDir::AllEntries | QDir::System | QDir::Hidden);
        names.sort();
        return names;
    }
};

} // namespace

// A second name of a file anywhere on the disk counts as a link: it is neither opened, removed
// nor moved, and the file outside keeps its bytes. The name itself may be replaced.
TEST_F(FilesTest, hardLinkIsNeverWrittenThroughButMayBeReplacedItself)
{
    ASSERT_TRUE(makeHardLink(outside("private.txt"), path("hardLink")));
    const QMap<QString, QByteArray> before = outsideSnapshot();
    const std::shared_ptr<const HeldFolder> folder = HeldFolder::hold(logPath());
    ASSERT_TRUE(folder);
    EXPECT_EQ(entryKind(path("hardLink")), EntryKind::Link);
    EXPECT_FALSE(openPlainFile(path("hardLink"), false));
    EXPECT_FALSE(removePlainFile(path("hardLink")));
    EXPECT_FALSE(folder->remove("hardLink"));
    EXPECT_FALSE(folder->open("hardLink", true));
    EXPECT_EQ(folder->size("hardLink"), 0u);
    EXPECT_FALSE(folder->replace("hardLink", "moved")) << "only a file of one name is moved";
    EXPECT_TRUE(folder->replace("file", "hardLink"));
    EXPECT_EQ(read("hardLink"), "regular");
    EXPECT_EQ(outsideSnapshot(), before);
}

TEST_F(FilesTest, onlyARealFolderIsHeldAndOnlyARegularFileRemoved)
{
    EXPECT_TRUE(HeldFolder::hold(path("folder/")));
    for (const char *name : {"file", "missing/"})
        EXPECT_FALSE(HeldFolder::hold(path(name))) << name;
    EXPECT_FALSE(removePlainFile(path("folder")));
    EXPECT_TRUE(isPlainFolder(path("folder")));
    EXPECT_TRUE(removePlainFile(path("file")));
    EXPECT_FALSE(exists("file"));
}

// A pending file grows under a name of its own and takes its target's place only when it is
// committed; dropped, it leaves nothing and the target as it was.
TEST_F(FilesTest, pendingFileReplacesItsTargetOnlyWhenCommitted)
{
    write("target.log", "earlier");
    const std::shared_ptr<const HeldFolder> folder = HeldFolder::hold(logPath());
    ASSERT_TRUE(folder);
    {
        const std::unique_ptr<PendingFile> dropped = folder->createPending("target.log");
        ASSERT_TRUE(dropped);
        EXPECT_EQ(std::fwrite("new", 1, 3, dropped->stream()), 3u);
        const QString name = QFileInfo(dropped->path()).fileName();
        EXPECT_TRUE(isPendingName(name)) << name.toStdString();
        EXPECT_TRUE(name.endsWith("~target.log"));
    }
    EXPECT_EQ(read("target.log"), "earlier");
    EXPECT_EQ(pendingNames(), QStringList());

    const std::unique_ptr<PendingFile> pending = folder->createPending("target.log");
    ASSERT_TRUE(pending);
    EXPECT_EQ(std::fwrite("new", 1, 3, pending->stream()), 3u);
    EXPECT_TRUE(pending->commit());
    EXPECT_EQ(read("target.log"), "new");
    EXPECT_EQ(std::fwrite(" and more", 1, 9, pending->stream()), 9u);
    EXPECT_EQ(std::fflush(pending->stream()), 0);
    EXPECT_EQ(read("target.log"), "new and more") << "the stream stays open on the committed file";

    // A folder of the target's name stays, and the pending file goes (on Windows, once closed).
    {
        const std::unique_ptr<PendingFile> blocked = folder->createPending("folder");
        ASSERT_TRUE(blocked);
        EXPECT_FALSE(blocked->commit());
    }
    EXPECT_TRUE(isPlainFolder(path("folder")));
    EXPECT_EQ(pendingNames(), QStringList());
}

TEST(PendingName, isTildeSixLettersOrDigitsTildeAndATarget)
{
    for (const char *name : {"~Ab3dE9~zel_support.zip", "~000000~a"})
        EXPECT_TRUE(isPendingName(name)) << name;
    for (const char *name : {"~Ab3dE9~", "~Ab3dE~zel_support.zip", "~Ab3dE9-zel_support.zip", "Ab3dE9~x~y",
                             "~Ab3d.9~zel_support.zip", "zel_support.zip", "~\u00e9b3dE9~a"})
        EXPECT_FALSE(isPendingName(QString::fromUtf8(name))) << name;
    EXPECT_TRUE(isUniqueName("kv4_cam.ini~Ab3dE9.restore", "kv4_cam.ini~", ".restore"));
    EXPECT_FALSE(isUniqueName("kv4_cam.ini~Ab3dE.restore", "kv4_cam.ini~", ".restore"));
}

// What a program that ended before its time left goes at the next start: only pending files,
// only regular files of one name, and never one that a running program still holds.
TEST_F(FilesTest, leftoversGoButPendingFilesStillHeldStay)
{
    write("~Ab3dE9~zel_support.zip", "cut short");
    write("~Zz9yY8~kv4_cam.log", "cut short");
    write("~notours~kv4_cam.log", "not our pattern");
    QDir().mkpath(path("~Qq1wW2~folder.log"));
    ASSERT_TRUE(makeHardLink(outside("private.txt"), path("~Hh4jJ5~x.log")));
    const std::shared_ptr<const HeldFolder> folder = HeldFolder::hold(logPath());
    ASSERT_TRUE(folder);
    const std::unique_ptr<PendingFile> running = folder->createPending("kv4_usb.log");
    ASSERT_TRUE(running);
    const QMap<QString, QByteArray> before = outsideSnapshot();

    folder->removeLeftovers();
    QStringList expected = {"~Hh4jJ5~x.log", "~notours~kv4_cam.log", "~Qq1wW2~folder.log",
                            QFileInfo(running->path()).fileName()};
    expected.sort();
    EXPECT_EQ(pendingNames(), expected);
    EXPECT_EQ(outsideSnapshot(), before);
}
