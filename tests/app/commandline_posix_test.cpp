// The command line in a shared log folder that another local user, or a link, could lead astray:
// the cases tried as a hostile user would, each in the form it was met.

#include "commandline_fixture.h"
#include "privileges.h"

#include "../zip/archive_view.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <sys/stat.h>
#include <unistd.h>

namespace {

class SharedFolderCommandLine : public CommandLineTest {
protected:
    // The log folder's own name becomes a link to a folder outside, as another user who may
    // write the folder above could make it.
    void swapFolderForLink()
    {
        ASSERT_TRUE(QDir(logPath()).removeRecursively());
        ASSERT_TRUE(QDir().mkpath(outside()));
        ASSERT_EQ(symlink(outside().toLocal8Bit().constData(), QDir::cleanPath(logPath()).toLocal8Bit().constData()), 0);
    }
    std::vector<std::string> entryNames(const QString &archive) const
    {
        std::vector<std::string> names;
        for (const archive_view::Entry &entry :
             archive_view::parse(archive_view::readFile(archive.toStdString())).entries)
            names.push_back(entry.name);
        return names;
    }
};

mode_t modeOf(const QString &path)
{
    struct stat info {};
    lstat(path.toLocal8Bit().constData(), &info);
    return info.st_mode & 07777;
}

} // namespace

// A link in place of the log folder leads nowhere: switching, clearing, listing and packing are
// refused with the reason, and nothing is made, moved, read or deleted where the link points.
TEST_F(SharedFolderCommandLine, logFolderThatIsALinkIsRefused)
{
    swapFolderForLink();
    QFile planted(outside("kv4_usb.log"));
    ASSERT_TRUE(planted.open(QIODevice::WriteOnly));
    planted.write("outside");
    planted.close();
    const QMap<QString, QByteArray> before = outsideSnapshot();
    for (const QStringList &arguments : QList<QStringList>{{"--enable", "usb3"},
                                                           {"--disable", "usb"},
                                                           {"--clear"},
                                                           {"--list"},
                                                           {"--support-archive"}}) {
        const Outcome result = run(arguments);
        EXPECT_EQ(result.exitCode, 1) << arguments.join(' ').toStdString();
        EXPECT_TRUE(result.err.contains("is a link")) << result.err.toStdString();
        EXPECT_EQ(outsideSnapshot(), before) << arguments.join(' ').toStdString();
    }
}

// A link on the way to the folder counts only where nobody else could change it: in a folder
// only root or the user may write, or a sticky one where the link is theirs.
TEST_F(SharedFolderCommandLine, linkAboveTheFolderCountsOnlyWhereNobodyElseCanChangeIt)
{
    // The shared data folder becomes a link to a real folder holding zel/.
    const QString shared = QDir::cleanPath(logPath() + "..");
    const QString real = root.path() + "/real";
    ASSERT_TRUE(QDir().rename(shared, real));
    ASSERT_EQ(symlink(real.toLocal8Bit().constData(), shared.toLocal8Bit().constData()), 0);
    const QByteArray top = root.path().toLocal8Bit();
    const struct {
        const char *name;
        mode_t mode;
        bool othersLink;
        bool refused;
    } rows[] = {
        {"privateFolder", 0700, false, false},
        {"folderOthersMayWrite", 0777, false, true},
        {"stickyFolderOwnLink", 01777, false, false},
        {"stickyFolderOthersLink", 01777, true, true},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_EQ(chmod(top.constData(), row.mode), 0);
        const bool given = restoreOverrides() &&
                           lchown(shared.toLocal8Bit().constData(), row.othersLink ? 65534 : geteuid(), 0) == 0;
        dropFileOverrides();
        if (!given)
            GTEST_SKIP() << "the owner of a link cannot be changed here";
        const Outcome result = run({"--enable", "usb3"});
        EXPECT_EQ(result.exitCode, row.refused ? 1 : 0) << result.err.toStdString();
        EXPECT_EQ(result.err.contains("lies below a link"), row.refused) << result.err.toStdString();
        EXPECT_EQ(QFileInfo::exists(real + "/zel/kv4_usb3.log"), !row.refused);
        QFile::remove(real + "/zel/kv4_usb3.log");
    }
    chmod(top.constData(), 0700);
}

// An INI file only root may read (a service's) would reach everybody through an archive that
// others may read: the archive is no wider than the narrowest file packed.
TEST_F(SharedFolderCommandLine, archiveIsReadableByNobodyWhomAPackedFileShutsOut)
{
    write("kv4_usb.log", "log");
    write("kv4_usb_param.ini", "[LOGGING]\r\nPassword=secret\r\n");
    const struct {
        const char *name;
        mode_t ini;
        mode_t archive;
    } rows[] = {{"everyoneReads", 0644, 0644}, {"groupReads", 0640, 0640}, {"ownerAlone", 0600, 0600}};
    const mode_t mask = umask(022);
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_EQ(chmod(path("kv4_usb_param.ini").toLocal8Bit().constData(), row.ini), 0);
        const Outcome result = run({"--enable", "usb", "--support-archive"});
        ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
        EXPECT_EQ(modeOf(path("zel_support.zip")), row.archive);
    }
    umask(mask);
}

// A backup's name may hold what one extractor or another takes for a path: it is packed as one
// entry name that leads nowhere outside.
TEST_F(SharedFolderCommandLine, backslashesAndColonsInNamesStayInsideTheirEntry)
{
    write("kv4_usb.log", "log");
    QDir().mkpath(path("backup"));
    write("backup/x\\..\\..\\..\\..\\proof.log", "planted");
    write("backup/C:proof.log", "planted");
    write("backup/100%25.log", "kept");
    ASSERT_EQ(run({"--enable", "usb"}).exitCode, 0);
    const Outcome result = run({"--support-archive"});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    const std::vector<std::string> names = entryNames(path("zel_support.zip"));
    for (const char *name :
         {"backup/x%5C..%5C..%5C..%5C..%5Cproof.log", "backup/C%3Aproof.log", "backup/100%2525.log"})
        EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
    for (const std::string &name : names)
        EXPECT_EQ(name.find('\\'), std::string::npos) << name;
}

// --output never writes through a link or into a device or folder; "-" is standard output; an
// empty path or name list is bad usage.
TEST_F(SharedFolderCommandLine, outputAndNamesAreCheckedBeforeAnythingIsWritten)
{
    write("kv4_usb.log", "log");
    ASSERT_EQ(run({"--enable", "usb"}).exitCode, 0);
    ASSERT_TRUE(QDir().mkpath(outside()));
    write("../../outside/target", "not to be replaced");
    const QString link = root.path() + "/link.zip";
    ASSERT_EQ(symlink(outside("target").toLocal8Bit().constData(), link.toLocal8Bit().constData()), 0);
    for (const QString &target : {link, QString("/dev/null"), outside()}) {
        const Outcome result = run({"--support-archive", "--output", target});
        EXPECT_EQ(result.exitCode, 1) << target.toStdString();
        EXPECT_TRUE(result.err.contains("a link, a folder or a pipe has its name")) << result.err.toStdString();
    }
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(QFileInfo(outside("target")).size(), 18);

    const Outcome piped = run({"--support-archive", "--output", "-"});
    ASSERT_EQ(piped.exitCode, 0) << piped.err.toStdString();
    const archive_view::Archive archive =
        archive_view::parse(archive_view::Bytes(piped.bytes.begin(), piped.bytes.end()));
    EXPECT_EQ(archive.entries.front().name, "kv4_usb.log");

    const QMap<QString, QByteArray> before = snapshot();
    for (const QStringList &arguments : QList<QStringList>{{"--support-archive", "--output", ""},
                                                           {"--support-archive", "--output="},
                                                           {"--enable="},
                                                           {"--enable=,,"},
                                                           {"--enable", " , "},
                                                           {"--disable="}}) {
        const Outcome result = run(arguments);
        EXPECT_EQ(result.exitCode, 2) << arguments.join(' ').toStdString();
        EXPECT_EQ(snapshot(), before);
    }
}

// A clearing that cleared nothing says so and fails: a file named "backup" takes no backups.
TEST_F(SharedFolderCommandLine, clearingThatClearsNothingFails)
{
    write("kv4_usb.log", "precious");
    write("backup", "a file where the folder should be");
    ASSERT_EQ(run({"--enable", "usb"}).exitCode, 0);
    const Outcome result = run({"--clear"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.contains("backup: is no folder")) << result.err.toStdString();
    EXPECT_TRUE(result.err.contains("kv4_usb.log: could not be backed up")) << result.err.toStdString();
    EXPECT_EQ(read("kv4_usb.log"), "precious");
}

// Messages name the real cause: a folder in the mapping's place is named before any work, a
// read-only folder is a matter of permission, a log that cannot be read is left out with exit 1.
TEST_F(SharedFolderCommandLine, messagesTellTheRealCause)
{
    write("kv4_usb.log", "log");
    ASSERT_EQ(run({"--enable", "usb"}).exitCode, 0);
    const QString output = root.path() + "/out.zip";
    ASSERT_TRUE(QDir().mkpath(root.path() + "/out.redaction.txt"));
    const Outcome mapping = run({"--support-archive", "--redact", "--output", output});
    EXPECT_EQ(mapping.exitCode, 1);
    EXPECT_TRUE(mapping.err.contains("out.redaction.txt: a link, a folder or a pipe has its name"))
        << mapping.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(output));

    // Root too is held to the modes, as an ordinary user is.
    if (geteuid() == 0)
        launcher = QStringList{"setpriv", "--bounding-set", "-dac_override,-dac_read_search,-fowner", "--"};
    ASSERT_EQ(chmod(path("kv4_usb.log").toLocal8Bit().constData(), 0), 0);
    const Outcome unreadable = run({"--support-archive"});
    EXPECT_EQ(unreadable.exitCode, 1);
    EXPECT_TRUE(unreadable.err.contains("kv4_usb.log: unreadable (left out of the support file)"))
        << unreadable.err.toStdString();
    chmod(path("kv4_usb.log").toLocal8Bit().constData(), 0644);

    // Neither the shared folder nor the user's own may be written.
    write("../../blocker", "x");
    qputenv("XDG_DATA_HOME", (root.path() + "/blocker/home").toUtf8());
    ASSERT_EQ(chmod(logPath().toLocal8Bit().constData(), 0555), 0);
    const Outcome readOnly = run({"--enable", "usb3"});
    chmod(logPath().toLocal8Bit().constData(), 0755);
    EXPECT_EQ(readOnly.exitCode, 1);
    EXPECT_TRUE(readOnly.err.contains("kv4_usb3.log: could not be made (no permission)")) << readOnly.err.toStdString();
}

// Qt's own options go to the dialog, which without a display cannot start: Qt says why, where
// the command line would have called them bad usage.
TEST_F(CommandLineTest, qtsOwnOptionsStillOpenTheDialog)
{
    const QList<QStringList> dialogs = {{"-platform", "bogus"}, {"-style", "fusion", "--platform", "bogus"}};
    for (const QStringList &arguments : dialogs) {
        const Outcome result = run(arguments);
        EXPECT_NE(result.exitCode, 0) << arguments.join(' ').toStdString();
        EXPECT_NE(result.exitCode, 2) << arguments.join(' ').toStdString();
        EXPECT_TRUE(result.err.contains("platform plugin \"bogus\"")) << result.err.toStdString();
    }
}

// Where the shared folder cannot be made, the listing says that the user's own stands in.
TEST_F(CommandLineTest, listingNamesTheFallbackFolder)
{
    write("../../blocker", "x");
    qputenv("XDG_DATA_DIRS", (root.path() + "/blocker").toUtf8());
    const QString own = root.path() + "/home/zel/";
    const Outcome people = run({"--list"});
    EXPECT_EQ(people.exitCode, 0) << people.err.toStdString();
    EXPECT_TRUE(people.out.startsWith("Log folder: " + own + " (your own, standing in for the shared folder, which "
                                                               "cannot be used)\n"))
        << people.out.toStdString();
    const Outcome script = run({"--list", "--json"});
    const QJsonObject listing = QJsonDocument::fromJson(script.bytes).object();
    EXPECT_EQ(listing["folder"], own);
    EXPECT_EQ(listing["fallback"], true);
}

// A listing that does not reach its reader is no success.
TEST_F(CommandLineTest, listingThatCannotBeWrittenFails)
{
    QProcess program;
    program.setStandardOutputFile("/dev/full");
    program.start(ZEL_PROGRAM, {"--list", "--json"});
    ASSERT_TRUE(program.waitForFinished(60000));
    EXPECT_EQ(program.exitCode(), 1);
    EXPECT_TRUE(program.readAllStandardError().contains("The listing could not be written to standard output"));
}

// The site's settings, from a system configuration folder, apply to --support-archive as in the
// dialog: redaction that no option turns off, the cap as the default that --max-log-size changes.
TEST_F(SharedFolderCommandLine, siteSettingsRedactAndCapTheArchive)
{
    ASSERT_TRUE(QDir().mkpath(root.path() + "/site/zel"));
    QFile conf(root.path() + "/site/zel/zel.logging.conf");
    ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
    conf.write("[Support]\nRedact=true\nMaxLogSize=1K\nMaxMailSize=lots\n");
    conf.close();
    const QByteArray log = QByteArray("camera at 192.168.7.20\n").repeated(500) + "last line\n";
    write("kv4_usb.log", log);
    struct Row {
        QStringList options;
        bool capped;
    };
    for (const Row &row : {Row{{}, true}, Row{{"--max-log-size", "1M"}, false}}) {
        const Outcome result = run(QStringList{"--support-archive"} + row.options);
        ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
        EXPECT_TRUE(result.err.contains("MaxMailSize=lots")) << result.err.toStdString();
        EXPECT_TRUE(exists("zel_support.redaction.txt")) << "redacted without --redact";
        QByteArray packed;
        QByteArray manifest;
        for (const archive_view::Entry &entry :
             archive_view::parse(archive_view::readFile(path("zel_support.zip").toStdString())).entries) {
            const archive_view::Bytes bytes = archive_view::contents(entry);
            const QByteArray data(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size()));
            if (entry.name == "kv4_usb.log")
                packed = data;
            if (entry.name == "manifest.json")
                manifest = data;
        }
        EXPECT_FALSE(packed.contains("192.168.7.20"));
        EXPECT_TRUE(packed.endsWith("last line\n"));
        EXPECT_EQ(packed.size() < log.size() / 2, row.capped) << packed.size();
        const QJsonObject site = QJsonDocument::fromJson(manifest).object()["site"].toObject();
        EXPECT_EQ(site["redact"], true);
        EXPECT_EQ(site["maxLogSize"].toInteger(), 1024);
        EXPECT_EQ(site["problems"].toArray().size(), 1);
    }
    const Outcome piped = run({"--support-archive", "--output", "-"});
    EXPECT_EQ(piped.exitCode, 2) << "the key to the stand-ins has nowhere to go";
    EXPECT_TRUE(piped.bytes.isEmpty());
}

// The user's own folder standing in for the shared one is said once, on standard error.
TEST_F(SharedFolderCommandLine, fallbackFolderIsSaidOnStandardError)
{
    ASSERT_TRUE(QFile::setPermissions(QDir::cleanPath(logPath()), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    if (geteuid() == 0)
        launcher = QStringList{"setpriv", "--bounding-set", "-dac_override,-dac_read_search,-fowner", "--"};
    const Outcome result = run({"--enable", "usb"});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    const QString own = root.path() + "/home/zel/";
    EXPECT_EQ(result.err.count(own), 1) << result.err.toStdString();
    EXPECT_TRUE(result.err.contains(logPath())) << result.err.toStdString();
    EXPECT_TRUE(QFileInfo::exists(own + "kv4_usb.log"));
    EXPECT_EQ(run({"--enable", "usb"}).err.count("cannot be used"), 1);
}
