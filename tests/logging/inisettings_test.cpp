#include "inisettings.h"
#include "levels.h"
#include "logfiles.h"
#include "testenv.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray dataFile(const QString &name)
{
    QFile file(QStringLiteral(ZEL_LOGGING_TEST_DATA "/") + name);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
    return file.readAll();
}

class IniUpdate : public LogFolderTest, public ::testing::WithParamInterface<const char *> {};

} // namespace

TEST(LevelTable, masksFollowTheComboOrder)
{
    EXPECT_EQ(levelMask(0), "0x0000FC01");
    EXPECT_EQ(levelMask(1), "0x0000FC03");
    EXPECT_EQ(levelMask(2), "0x0000FC0B");
    EXPECT_EQ(levelMask(3), "0x0000FFFF");
    EXPECT_EQ(levelMask(-1), QString());
    EXPECT_EQ(levelMask(4), QString());
}

// Each golden pair: <name>.ini is updated for "kv4_usb.log" in "/var/zel/" at "Standard" and
// must then equal <name>.expected.ini byte for byte, CR LF included.
TEST_P(IniUpdate, fileMatchesItsGoldenCopy)
{
    const QString name = GetParam();
    write("kv4_usb_param.ini", dataFile(name + ".ini"));
    EXPECT_TRUE(updateLoggingIni(path("kv4_usb_param.ini"), "kv4_usb.log", "/var/zel/", "0x0000FC03"));
    EXPECT_EQ(read("kv4_usb_param.ini"), dataFile(name + ".expected.ini"));
}

INSTANTIATE_TEST_SUITE_P(GoldenFiles, IniUpdate,
                         ::testing::Values("usb_empty", "lower_case_names", "logname_without_logpath",
                                           "logpath_without_logname", "empty_values_count",
                                           "other_sections_only", "comments_kept", "lf_line_ends",
                                           "bare_cr_line_ends", "byte_order_mark"));

TEST_F(LogFolderTest, updatingTwiceChangesOnlyTheLevel)
{
    write("a.ini", "");
    updateLoggingIni(path("a.ini"), "a.log", "/var/zel/", "0x0000FC03");
    updateLoggingIni(path("a.ini"), "other.log", "/elsewhere/", "0x0000FFFF");
    EXPECT_EQ(read("a.ini"), "[LOGGING]\r\nLogname=a.log\r\nLogpath=/var/zel/\r\nLogging=0x0000FFFF\r\n");
}

TEST_F(LogFolderTest, missingIniFileIsNotCreated)
{
    EXPECT_FALSE(updateLoggingIni(path("kv4_usb_param.ini"), "kv4_usb.log", logPath(), "0x0000FC03"));
    EXPECT_FALSE(exists("kv4_usb_param.ini"));
}

TEST_F(LogFolderTest, readOnlyIniFileIsNotChanged)
{
    write("ro.ini", "[LOGGING]\r\n");
    QFile::setPermissions(path("ro.ini"), QFileDevice::ReadOwner);
    EXPECT_FALSE(updateLoggingIni(path("ro.ini"), "kv4_usb.log", logPath(), "0x0000FC03"));
    QFile::setPermissions(path("ro.ini"), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(read("ro.ini"), "[LOGGING]\r\n");
}

// Files the INI reader cannot take back whole are left exactly as they are.
TEST_F(LogFolderTest, unreadableShapesAreLeftUntouched)
{
    QByteArray binary;
    for (int i = 0; i < 4096; ++i)
        binary.append(char((i * 7919) % 251));
    QByteArray withNul("[LOGGING]\r\nLogname=a.log\r\n");
    withNul.append('\0');
    withNul.append("Logging=1\r\n");
    const QByteArray longLine(10 * 1024 * 1024, 'x');
    const QByteArray cases[] = {binary, withNul, longLine, "[LOGGING\r\nLogging=1\r\n", "just some text\r\n",
                                "[LOGGING]\r\n=value without a key\r\n",
                                "[LOGGING]\r\nLogging=1\r\n; a comment with no entry after it\r\n",
                                "[CAMERA] white balance\r\nGain=2\r\n",
                                "[LOGGING]\r\nLogging=1\r\nlogging=2\r\n"};
    for (const QByteArray &bytes : cases) {
        write("bad.ini", bytes);
        EXPECT_FALSE(updateLoggingIni(path("bad.ini"), "a.log", logPath(), "0x0000FC03"));
        EXPECT_TRUE(read("bad.ini") == bytes) << "changed a file of " << bytes.size() << " bytes";
    }
}

TEST_F(LogFolderTest, longValueLineIsKeptWhole)
{
    QByteArray bytes = "[CAMERA]\r\nLut=" + QByteArray(10 * 1024 * 1024, '7') + "\r\n";
    write("big.ini", bytes);
    EXPECT_TRUE(updateLoggingIni(path("big.ini"), "a.log", "/z/", "0x0000FC03"));
    EXPECT_EQ(read("big.ini"), bytes + "\r\n\r\n[LOGGING]\r\nLogname=a.log\r\nLogpath=/z/\r\nLogging=0x0000FC03\r\n");
}

TEST_F(LogFolderTest, folderNamedLikeAnIniFileIsLeftAlone)
{
    QDir().mkpath(path("kv4_usb_param.ini/inner"));
    EXPECT_FALSE(updateLoggingIni(path("kv4_usb_param.ini"), "kv4_usb.log", logPath(), "0x0000FC03"));
    EXPECT_TRUE(QFileInfo(path("kv4_usb_param.ini/inner")).isDir());
}

TEST_F(LogFolderTest, logFileIsCreatedEmptyWithEveryPermission)
{
    ensureLogFile(path("kv4_usb.log"));
    const QFileInfo info(path("kv4_usb.log"));
    ASSERT_TRUE(info.isFile());
    EXPECT_EQ(info.size(), 0);
    EXPECT_EQ(int(info.permissions() & 0x7777), 0x7777);
}

TEST_F(LogFolderTest, existingLogKeepsItsContents)
{
    write("kv4_usb.log", "line 1\n");
    ensureLogFile(path("kv4_usb.log"));
    EXPECT_EQ(read("kv4_usb.log"), "line 1\n");
}

TEST_F(LogFolderTest, existingReadOnlyLogGetsEveryPermissionAgain)
{
    write("kv4_usb.log", "old");
    QFile::setPermissions(path("kv4_usb.log"), QFileDevice::ReadOwner | QFileDevice::ReadGroup);
    ensureLogFile(path("kv4_usb.log"));
    EXPECT_EQ(int(QFileInfo(path("kv4_usb.log")).permissions() & 0x7777), 0x7777);
    EXPECT_EQ(read("kv4_usb.log"), "old");
}

TEST_F(LogFolderTest, pipeAndLinkNamedLikeALogAreLeftAlone)
{
    ASSERT_EQ(mkfifo(path("kv4_usb.log").toLocal8Bit().constData(), 0600), 0);
    alarm(20); // opening the pipe for writing would wait for a reader
    ensureLogFile(path("kv4_usb.log"));
    alarm(0);
    EXPECT_EQ(int(QFileInfo(path("kv4_usb.log")).permissions() & 0x0077), 0);

    write("target.txt", "private");
    QFile::setPermissions(path("target.txt"), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    ASSERT_TRUE(QFile::link(path("target.txt"), path("kv4_cam.log")));
    ensureLogFile(path("kv4_cam.log"));
    EXPECT_EQ(int(QFileInfo(path("target.txt")).permissions() & 0x0077), 0);
}

TEST_F(LogFolderTest, folderNamedLikeALogKeepsItsPermissions)
{
    QDir().mkpath(path("kv4_usb.log"));
    QFile::setPermissions(path("kv4_usb.log"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    ensureLogFile(path("kv4_usb.log"));
    EXPECT_TRUE(QFileInfo(path("kv4_usb.log")).isDir());
    EXPECT_EQ(int(QFileInfo(path("kv4_usb.log")).permissions() & 0x0077), 0);
}

TEST_F(LogFolderTest, readOnlyFolderGetsNoLogFile)
{
    QFile::setPermissions(logPath(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    ensureLogFile(path("kv4_usb.log"));
    QFile::setPermissions(logPath(), QFileDevice::Permissions(0x7700));
    EXPECT_FALSE(exists("kv4_usb.log"));
}
