// The safe-file rules against real links, pipes and folders of a temporary log folder.

#include "plainfile.h"
#include "testenv.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class PlainFileTest : public LogFolderTest {
protected:
    PlainFileTest()
    {
        write("file", "regular");
        QDir().mkpath(path("folder"));
        QFile private_(outside("private.txt"));
        private_.open(QIODevice::WriteOnly);
        private_.write("private");
        private_.close();
        QFile::link(outside("private.txt"), path("link"));
        QFile::link(outside(), path("folderLink"));
        QFile::link(outside("nothing.txt"), path("dangling"));
        mkfifo(path("pipe").toLocal8Bit().constData(), 0600);
    }
};

} // namespace

TEST_F(PlainFileTest, kindOfTheEntryItselfNeverOfALinksTarget)
{
    const struct {
        const char *name;
        EntryKind kind;
    } rows[] = {
        {"file", EntryKind::PlainFile},     {"folder", EntryKind::PlainFolder}, {"folder/", EntryKind::PlainFolder},
        {"link", EntryKind::Link},          {"folderLink", EntryKind::Link},    {"folderLink/", EntryKind::Link},
        {"dangling", EntryKind::Link},      {"pipe", EntryKind::Other},         {"missing", EntryKind::Missing},
    };
    for (const auto &row : rows)
        EXPECT_EQ(entryKind(path(row.name)), row.kind) << row.name;
}

TEST_F(PlainFileTest, onlyARegularFileOpensAndAPipeWithAnIdleWriterDoesNotWait)
{
    // A writer that holds the pipe open and never writes.
    const int writer = open(path("pipe").toLocal8Bit().constData(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(writer, 0);
    for (const char *name : {"link", "dangling", "pipe", "folder", "missing"}) {
        EXPECT_FALSE(openPlainFile(path(name), false)) << name;
        EXPECT_FALSE(openPlainFile(path(name), true)) << name;
    }
    close(writer);
    const PlainFile file = openPlainFile(path("file"), true);
    ASSERT_TRUE(file);
    char text[16] = {};
    EXPECT_EQ(std::fread(text, 1, sizeof text, file.get()), 7u);
    EXPECT_STREQ(text, "regular");
    EXPECT_TRUE(emptyPlainFile(file.get()));
    EXPECT_EQ(read("file"), "");
}

TEST_F(PlainFileTest, onlyALinkOrRegularFileIsReplacedAndOnlyARegularFileRemoved)
{
    const QMap<QString, QByteArray> before = outsideSnapshot();
    for (const char *name : {"folder", "folderLink/", "pipe"}) {
        EXPECT_FALSE(replaceFile(path("file"), path(name))) << name;
        EXPECT_FALSE(removePlainFile(path(name))) << name;
        EXPECT_NE(entryKind(path(name)), EntryKind::Missing) << name;
    }
    EXPECT_FALSE(removePlainFile(path("link")));
    EXPECT_FALSE(replaceFile(path("link"), path("new"))) << "only a regular file is moved";
    EXPECT_TRUE(replaceFile(path("file"), path("dangling")));
    EXPECT_TRUE(replaceFile(path("dangling"), path("link")));
    EXPECT_EQ(entryKind(path("link")), EntryKind::PlainFile);
    EXPECT_EQ(read("link"), "regular");
    EXPECT_EQ(outsideSnapshot(), before);
    EXPECT_TRUE(removePlainFile(path("link")));
    EXPECT_FALSE(exists("link"));
}

TEST_F(PlainFileTest, grantingPermissionsWorksOnTheOpenFileNotOnANewNamesake)
{
    QFile::setPermissions(outside("private.txt"), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    const PlainFile file = openPlainFile(path("file"), false);
    ASSERT_TRUE(file);
    // Someone puts a link in the file's place while it is open.
    ASSERT_TRUE(QFile::remove(path("file")));
    ASSERT_TRUE(QFile::link(outside("private.txt"), path("file")));
    EXPECT_TRUE(grantAllPermissions(file.get()));
    EXPECT_EQ(QFile::permissions(outside("private.txt")) & 0x0777, QFileDevice::ReadUser | QFileDevice::WriteUser);
}
