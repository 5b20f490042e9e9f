#include "inisettings.h"
#include "levels.h"
#include "logfiles.h"
#include "links.h"
#include "testenv.h"

#include <QFile>
#include <QFileInfo>

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
// must then equal <name>.expected.ini byte for byte, CR LF included. Where the two are the same,
// the file must be reported untouched.
TEST_P(IniUpdate, fileMatchesItsGoldenCopy)
{
    const QString name = GetParam();
    const QByteArray original = dataFile(name + ".ini");
    const QByteArray expected = dataFile(name + ".expected.ini");
    write("kv4_usb_param.ini", original);
    EXPECT_EQ(updateLoggingIni(held(), "kv4_usb_param.ini", "kv4_usb.log", "/var/zel/", "0x0000FC03"),
              expected == original ? Rewrite::Untouched : Rewrite::Written);
    EXPECT_EQ(read("kv4_usb_param.ini"), expected);
}

INSTANTIATE_TEST_SUITE_P(GoldenFiles, IniUpdate,
                         ::testing::Values("usb_empty", "lower_case_names", "logname_without_logpath",
                                           "logpath_without_logname", "empty_values_count",
                                           "other_sections_only", "comments_kept", "lf_line_ends",
                                           "bare_cr_line_ends", "byte_order_mark", "trailing_comment",
                                           "trailing_comment_block", "comments_only", "header_remarks",
                                           "repeated_section_joined"));

INSTANTIATE_TEST_SUITE_P(LeftUntouched, IniUpdate,
                         ::testing::Values("nul_byte", "binary_data", "no_ini_line", "repeated_key",
                                           "comment_before_repeated_section", "empty_section_name",
                                           "byte_order_mark_in_key", "byte_order_mark_twice"));

// Refusal comes from comparing the library's own save with the file's lines: sections joined
// by the library keep every line, and a comment in front of a later header stays with that
// header; anything the save lacks, or a header it adds or drops, refuses the file.
TEST(IniRefusal, followsWhatTheLibraryKeeps)
{
    const struct {
        const char *text;
        bool refused;
    } rows[] = {
        {"[A]\r\nk=1\r\n[B]\r\nx=1\r\n[a]\r\ny=2\r\n; c\r\n[C]\r\nz=3\r\n", false},
        {"[A] ; remark\r\nk=1\r\n[B]\r\n[a]\r\ny=2\r\n", false},
        {"[A]\r\nk=1\r\n[a] ; remark\r\ny=2\r\n", true},
        {"[A]\r\nk=1\r\n[B]\r\n; lost\r\n[a]\r\ny=2\r\n", true},
        {"[A] remark\r\nk=1\r\n", true},
        {"[A\r\nk=1\r\n", true},
        {"[A]\r\nk=1\r\n[ ]\r\nx=1\r\n", true},
        {"[A]\r\nk = 1\r\nK=2\r\n", true},
        {"[A]\r\n  k  =  1  \r\n\t; note\r\nm=2\r\n", false},
        {"; one\r\n\r\n; two\r\n", false},
    };
    for (const auto &row : rows)
        EXPECT_EQ(!updatedIni(row.text, "a.log", "/var/zel/", "0x0000FC03"), row.refused) << row.text;
}

TEST_F(LogFolderTest, updatingTwiceChangesOnlyTheLevel)
{
    write("a.ini", "");
    updateLoggingIni(held(), "a.ini", "a.log", "/var/zel/", "0x0000FC03");
    updateLoggingIni(held(), "a.ini", "other.log", "/elsewhere/", "0x0000FFFF");
    EXPECT_EQ(read("a.ini"), "[LOGGING]\r\nLogname=a.log\r\nLogpath=/var/zel/\r\nLogging=0x0000FFFF\r\n");
}

// The components' own line end is CR LF; the library writes CR LF itself on Windows and a bare
// LF elsewhere, and neither may come out as CR CR LF.
TEST(IniLineEnds, everyLineEndsWithOneCrLf)
{
    const struct {
        const char *saved;
        const char *expected;
    } cases[] = {
        {"[LOGGING]\r\nLogging=0x0000FC03\r\n", "[LOGGING]\r\nLogging=0x0000FC03\r\n"},
        {"[LOGGING]\nLogging=0x0000FC03\n", "[LOGGING]\r\nLogging=0x0000FC03\r\n"},
        {"\n\n[A]\r\n\r\nk=v\n", "\r\n\r\n[A]\r\n\r\nk=v\r\n"},
        {"", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(withCrLf(c.saved), QByteArray(c.expected)) << c.saved;
}

TEST_F(LogFolderTest, missingIniFileIsNotCreated)
{
    EXPECT_EQ(updateLoggingIni(held(), "kv4_usb_param.ini", "kv4_usb.log", logPath(), "0x0000FC03"), Rewrite::Untouched);
    EXPECT_FALSE(exists("kv4_usb_param.ini"));
}

TEST_F(LogFolderTest, readOnlyIniFileIsNotChanged)
{
    write("ro.ini", "[LOGGING]\r\n");
    QFile::setPermissions(path("ro.ini"), QFileDevice::ReadOwner);
    EXPECT_EQ(updateLoggingIni(held(), "ro.ini", "kv4_usb.log", logPath(), "0x0000FC03"), Rewrite::Untouched);
    QFile::setPermissions(path("ro.ini"), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(read("ro.ini"), "[LOGGING]\r\n");
}

// More files the INI reader cannot take back whole; they are left exactly as they are.
TEST_F(LogFolderTest, unreadableShapesAreLeftUntouched)
{
    QByteArray binary;
    for (int i = 0; i < 4096; ++i)
        binary.append(char((i * 7919) % 251));
    const QByteArray longLine(10 * 1024 * 1024, 'x');
    const QByteArray tooLarge = "[CAMERA]\r\nLut=" + QByteArray(maxIniSize - 15, '7') + "\r\n";
    const QByteArray cases[] = {binary, longLine, tooLarge, "[LOGGING\r\nLogging=1\r\n",
                                "[LOGGING]\r\n=value without a key\r\n", "[CAMERA] white balance\r\nGain=2\r\n",
                                "[A] ; first\r\n[B]\r\n[a] ; second\r\n", "[ \t]\r\nk=v\r\n"};
    for (const QByteArray &bytes : cases) {
        write("bad.ini", bytes);
        EXPECT_EQ(updateLoggingIni(held(), "bad.ini", "a.log", logPath(), "0x0000FC03"), Rewrite::Untouched);
        EXPECT_TRUE(read("bad.ini") == bytes) << "changed a file of " << bytes.size() << " bytes";
    }
}

TEST_F(LogFolderTest, longValueLineIsKeptWhole)
{
    QByteArray bytes = "[CAMERA]\r\nLut=" + QByteArray(10 * 1024 * 1024, '7') + "\r\n";
    write("big.ini", bytes);
    EXPECT_EQ(updateLoggingIni(held(), "big.ini", "a.log", "/z/", "0x0000FC03"), Rewrite::Written);
    EXPECT_EQ(read("big.ini"), bytes + "\r\n\r\n[LOGGING]\r\nLogname=a.log\r\nLogpath=/z/\r\nLogging=0x0000FC03\r\n");
}

TEST_F(LogFolderTest, folderNamedLikeAnIniFileIsLeftAlone)
{
    QDir().mkpath(path("kv4_usb_param.ini/inner"));
    EXPECT_EQ(updateLoggingIni(held(), "kv4_usb_param.ini", "kv4_usb.log", logPath(), "0x0000FC03"), Rewrite::Untouched);
    EXPECT_TRUE(QFileInfo(path("kv4_usb_param.ini/inner")).isDir());
}

TEST_F(LogFolderTest, existingLogKeepsItsContents)
{
    write("kv4_usb.log", "line 1\n");
    ensureLogFile(*held(), "kv4_usb.log");
    EXPECT_EQ(read("kv4_usb.log"), "line 1\n");
}


// A file with a second name may be anybody's, linked in under the name: the INI file is left
// as it is, not even replaced (its copy would land in the folder), and a log is neither written
// nor given permissions.
TEST_F(LogFolderTest, hardLinkedFilesAreNeverWrittenThrough)
{
    ASSERT_TRUE(QDir().mkpath(outside()));
    write("kv4_usb_param.ini", "[LOGGING]\r\n");
    ASSERT_TRUE(makeHardLink(path("kv4_usb_param.ini"), outside("kv4_usb_param.ini")));
    EXPECT_EQ(updateLoggingIni(held(), "kv4_usb_param.ini", "a.log", "/z/", "0x0000FC03"), Rewrite::Untouched);
    EXPECT_EQ(read("kv4_usb_param.ini"), "[LOGGING]\r\n");

    QFile log(outside("private.txt"));
    ASSERT_TRUE(log.open(QIODevice::WriteOnly));
    log.write("private");
    log.close();
    QFile::setPermissions(outside("private.txt"), QFileDevice::ReadOwner);
    const QFileDevice::Permissions before = QFile::permissions(outside("private.txt"));
    ASSERT_TRUE(makeHardLink(outside("private.txt"), path("kv4_usb.log")));
    ensureLogFile(*held(), "kv4_usb.log");
    EXPECT_EQ(QFile::permissions(outside("private.txt")), before);
    QFile::setPermissions(outside("private.txt"), QFileDevice::ReadOwner | QFileDevice::WriteOwner);

    QFile other(outside("kv4_usb_param.ini"));
    ASSERT_TRUE(other.open(QIODevice::ReadOnly));
    EXPECT_EQ(other.readAll(), "[LOGGING]\r\n");
}
