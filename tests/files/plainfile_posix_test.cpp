// The safe-file rules against symbolic links, pipes, modes and names that are not UTF-8.

#include "plainfile.h"
#include "testenv.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

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
    ASSERT_EQ(::link(outside("private.txt").toLocal8Bit().constData(), path("hardLink").toLocal8Bit().constData()), 0);
    const struct {
        const char *name;
        EntryKind kind;
    } rows[] = {
        {"file", EntryKind::PlainFile},     {"folder", EntryKind::PlainFolder}, {"folder/", EntryKind::PlainFolder},
        {"link", EntryKind::Link},          {"folderLink", EntryKind::Link},    {"folderLink/", EntryKind::Link},
        {"dangling", EntryKind::Link},      {"pipe", EntryKind::Other},         {"missing", EntryKind::Missing},
        {"hardLink", EntryKind::Link},
    };
    for (const auto &row : rows)
        EXPECT_EQ(entryKind(path(row.name)), row.kind) << row.name;
}

TEST_F(PlainFileTest, onlyARegularFileOpensAndAPipeWithAnIdleWriterDoesNotWait)
{
    // A writer that holds the pipe open and never writes.
    const int writer = open(path("pipe").toLocal8Bit().constData(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(::link(outside("private.txt").toLocal8Bit().constData(), path("hardLink").toLocal8Bit().constData()), 0);
    for (const char *name : {"link", "dangling", "pipe", "folder", "missing", "hardLink"}) {
        EXPECT_FALSE(openPlainFile(path(name), false)) << name;
        EXPECT_FALSE(openPlainFile(path(name), true)) << name;
    }
    close(writer);
    const PlainFile file = openPlainFile(path("file"), true);
    ASSERT_TRUE(file);
    char text[16] = {};
    EXPECT_EQ(std::fread(text, 1, sizeof text, file.get()), 7u);
    EXPECT_STREQ(text, "regular");
    EXPECT_FALSE(emptyPlainFile(file.get(), 6)) << "it has grown since";
    EXPECT_EQ(read("file"), "regular");
    EXPECT_TRUE(emptyPlainFile(file.get(), 7));
    EXPECT_EQ(read("file"), "");
}

TEST_F(PlainFileTest, onlyALinkOrRegularFileIsReplacedAndOnlyARegularFileRemoved)
{
    const QMap<QString, QByteArray> before = outsideSnapshot();
    const std::shared_ptr<const HeldFolder> folder = HeldFolder::hold(logPath());
    ASSERT_TRUE(folder);
    for (const char *name : {"folder", "folderLink/", "pipe"}) {
        EXPECT_FALSE(folder->replace("file", name)) << name;
        EXPECT_FALSE(removePlainFile(path(name))) << name;
        EXPECT_NE(entryKind(path(name)), EntryKind::Missing) << name;
    }
    EXPECT_FALSE(removePlainFile(path("link")));
    EXPECT_FALSE(folder->replace("link", "new")) << "only a regular file is moved";
    EXPECT_TRUE(folder->replace("file", "dangling"));
    EXPECT_TRUE(folder->replace("dangling", "link"));
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
    PlainFile created = held->createUnique("earlier.log.", "", name);
    ASSERT_TRUE(created);
    EXPECT_TRUE(name.startsWith("earlier.log.") && name.size() == 18) << name.toStdString();
    EXPECT_EQ(std::fwrite("copy", 1, 4, created.get()), 4u);
    created.reset();
    EXPECT_EQ(QFile::permissions(path("moved/" + name)) & 0x0777, QFileDevice::ReadUser | QFileDevice::WriteUser);
    EXPECT_TRUE(held->replace(name, "earlier.log"));
    EXPECT_EQ(read("moved/earlier.log"), "copy");
    EXPECT_TRUE(HeldFolder::hold(path(""))->moveTo("file", *held, "file"));
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


// A name whose bytes are not UTF-8 (Latin-1 "caf\xe9.log", say) is listed so that it leads back
// to its file, and gives its own bytes back.
TEST_F(PlainFileTest, namesThatAreNotUtf8LeadBackToTheirFiles)
{
    const QByteArray latin1 = (logPath() + "folder/caf").toLocal8Bit() + "\xe9.log";
    const QByteArray broken = (logPath() + "folder/").toLocal8Bit() + "a\xed\xb2\x80\xff\xc3.log";
    for (const QByteArray &name : {latin1, broken}) {
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, "text", 4), 4);
        ::close(fd);
    }
    write("folder/caf\u00e9.log", "utf-8");
    const std::shared_ptr<const HeldFolder> folder = HeldFolder::hold(path("folder/"));
    ASSERT_TRUE(folder);
    QStringList names = folder->names();
    EXPECT_EQ(names.size(), 3);
    EXPECT_EQ(folderNames(path("folder/")).size(), 3);
    QList<QByteArray> bytes;
    for (const QString &name : std::as_const(names)) {
        bytes.append(fileNameBytes(name));
        const PlainFile file = folder->open(name, false);
        EXPECT_TRUE(file) << name.toStdString();
        EXPECT_EQ(folder->size(name), name == "caf\u00e9.log" ? 5u : 4u);
    }
    std::sort(bytes.begin(), bytes.end());
    EXPECT_EQ(bytes, QList<QByteArray>({"a\xed\xb2\x80\xff\xc3.log", "caf\xc3\xa9.log", "caf\xe9.log"}));
}

// Another user puts a file of theirs in place of the pending name: it is neither put in place
// of the target nor removed.
TEST_F(PlainFileTest, pendingNameTakenByAnotherUsersFileIsNeitherCommittedNorRemoved)
{
    write("target.log", "earlier");
    const std::shared_ptr<const HeldFolder> folder = HeldFolder::hold(logPath());
    ASSERT_TRUE(folder);
    write("theirs.log", "theirs");
    for (const bool commit : {true, false}) {
        std::unique_ptr<PendingFile> swapped = folder->createPending("target.log");
        ASSERT_TRUE(swapped);
        const QString name = QFileInfo(swapped->path()).fileName();
        ASSERT_TRUE(QFile::copy(path("theirs.log"), path("theirs.copy")));
        ASSERT_EQ(::rename(QFile::encodeName(path("theirs.copy")).constData(),
                           QFile::encodeName(swapped->path()).constData()),
                  0);
        if (commit) {
            EXPECT_FALSE(swapped->commit());
        }
        swapped.reset();
        EXPECT_EQ(read("target.log"), "earlier") << commit;
        EXPECT_EQ(read(name), "theirs") << commit;
        QFile::remove(path(name));
    }
}

// A copy of a log stays its owner's until it has the log's permissions; an archive or a report
// may be read as the user's defaults allow, and written by its owner only.
TEST_F(PlainFileTest, newFilesAreWrittenByTheirOwnerOnly)
{
    const mode_t saved = umask(022);
    const std::shared_ptr<const HeldFolder> folder = HeldFolder::hold(logPath());
    ASSERT_TRUE(folder);
    const std::unique_ptr<PendingFile> own = folder->createPending("own.log");
    const std::unique_ptr<PendingFile> readable = folder->createPending("readable.zip", NewFileAccess::Readable);
    umask(002);
    const std::unique_ptr<PendingFile> underGroupMask = folder->createPending("group.zip", NewFileAccess::Readable);
    umask(saved);
    ASSERT_TRUE(own && readable && underGroupMask);
    EXPECT_EQ(QFile::permissions(own->path()) & 0x0777, QFileDevice::ReadUser | QFileDevice::WriteUser);
    for (const PendingFile *file : {readable.get(), underGroupMask.get()})
        EXPECT_EQ(QFile::permissions(file->path()) & 0x0777,
                  QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ReadGroup | QFileDevice::ReadOther);
}


// A symbolic link of a pending file's name is no leftover of ours.
TEST_F(PlainFileTest, leftoverNameThatIsASymbolicLinkStays)
{
    ASSERT_TRUE(QFile::link(outside("private.txt"), path("~Ll6kK7~y.log")));
    const std::shared_ptr<const HeldFolder> folder = HeldFolder::hold(logPath());
    ASSERT_TRUE(folder);
    const QMap<QString, QByteArray> before = outsideSnapshot();
    folder->removeLeftovers();
    EXPECT_TRUE(QFileInfo(path("~Ll6kK7~y.log")).isSymLink());
    EXPECT_EQ(outsideSnapshot(), before);
}
