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
    EXPECT_TRUE(setPermissions(file.get(), everyPermission));
    EXPECT_EQ(QFile::permissions(outside("private.txt")) & 0x0777, QFileDevice::ReadUser | QFileDevice::WriteUser);
}

TEST_F(PlainFileTest, onlyARealFolderIsHeld)
{
    EXPECT_TRUE(HeldFolder::hold(path("folder/")));
    for (const char *name : {"folderLink/", "folderLink", "dangling", "file", "pipe", "missing/"})
        EXPECT_FALSE(HeldFolder::hold(path(name))) << name;
}

// Another local user renames the held folder away and puts a link to a folder outside in its
// place: everything done through the held folder still happens in the folder that was checked.
TEST_F(PlainFileTest, heldFolderStaysTheFolderCheckedWhenALinkTakesItsName)
{
    write("folder/earlier.log", "earlier");
    write("folder/pipe.log", "replaced by a pipe below");
    QDir().mkpath(path("folder/sub.log"));
    ASSERT_TRUE(QFile::link(outside("private.txt"), path("folder/secret.log")));
    const std::shared_ptr<const HeldFolder> held = HeldFolder::hold(path("folder/"));
    ASSERT_TRUE(held);
    ASSERT_TRUE(QFile::remove(path("folder/pipe.log")));
    ASSERT_EQ(mkfifo(path("folder/pipe.log").toLocal8Bit().constData(), 0600), 0);
    ASSERT_TRUE(QDir().rename(path("folder"), path("moved")));
    ASSERT_TRUE(QFile::link(outside(), path("folder")));
    QFile namesake(outside("earlier.log"));
    ASSERT_TRUE(namesake.open(QIODevice::WriteOnly));
    namesake.write("outside");
    namesake.close();
    const QMap<QString, QByteArray> before = outsideSnapshot();

    QString name;
    PlainFile created = held->create("earlier.log.", name);
    ASSERT_TRUE(created);
    EXPECT_TRUE(name.startsWith("earlier.log.") && name.size() == 18) << name.toStdString();
    EXPECT_EQ(std::fwrite("copy", 1, 4, created.get()), 4u);
    created.reset();
    EXPECT_EQ(QFile::permissions(path("moved/" + name)) & 0x0777, QFileDevice::ReadUser | QFileDevice::WriteUser);
    EXPECT_TRUE(held->replace(name, "earlier.log"));
    EXPECT_EQ(read("moved/earlier.log"), "copy");
    EXPECT_TRUE(held->moveIn(path("file"), "file"));
    EXPECT_EQ(read("moved/file"), "regular");

    const PlainFile opened = held->open("earlier.log", false);
    ASSERT_TRUE(opened);
    char text[8] = {};
    EXPECT_EQ(std::fread(text, 1, sizeof text, opened.get()), 4u);
    EXPECT_STREQ(text, "copy");
    EXPECT_FALSE(held->open("private.txt", false)) << "only the held folder's files open";
    EXPECT_FALSE(held->open("secret.log", false)) << "no link is followed";
    EXPECT_EQ(held->size("earlier.log"), 4u);
    EXPECT_EQ(held->size("secret.log"), 0u);
    EXPECT_EQ(held->size("pipe.log"), 0u);
    QStringList names = held->names();
    names.sort();
    EXPECT_EQ(names, QStringList({"earlier.log", "file", "pipe.log", "secret.log", "sub.log"}));

    // A folder or pipe of the target's name stays, and so does the file meant to replace it.
    write("moved/new.log", "new");
    for (const char *target : {"sub.log", "pipe.log"}) {
        EXPECT_FALSE(held->replace("new.log", target)) << target;
        EXPECT_FALSE(held->remove(target)) << target;
    }
    EXPECT_EQ(read("moved/new.log"), "new");
    EXPECT_TRUE(held->remove("earlier.log"));
    EXPECT_FALSE(exists("moved/earlier.log"));
    EXPECT_EQ(outsideSnapshot(), before);
}
