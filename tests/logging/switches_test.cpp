#include "dialogdriver.h"
#include "links.h"
#include "testenv.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QTimer>

namespace {

const QByteArray standardUsb(const QString &folder)
{
    return "[LOGGING]\r\nLogname=kv4_usb.log\r\nLogpath=" + folder.toUtf8() + "\r\nLogging=0x0000FC03\r\n";
}

class SwitchTest : public LogFolderTest {
protected:
    bool isEmptyFullyPermittedFile(const QString &name) const
    {
        const QFileInfo info(path(name));
        return info.isFile() && info.size() == 0 && (info.permissions() & 0x7777) == permittedToAll();
    }
};

const QStringList interfaceLogs = {"kv4_1394.log", "kv4_cl_me4.log", "kv4_cl_mtx.log", "kv4_cl_nat.log",
                                   "kv4_cl_ser.log", "kv4_clhs.log", "kv4_usb.log", "kv4_usb3.log",
                                   "kv4_gige.log", "kv4_gige2.log", "kv4_genicam.log"};

} // namespace

TEST_F(SwitchTest, tickingTheSdkCreatesItsLogsAndUpdatesBothIniFiles)
{
    write("kv4_cam.ini", "");
    write("zel_conv.ini", "[LOGGING]\r\nLogname=zel_conv.log\r\n");
    Dialog dialog;
    DialogDriver driver(dialog);
    driver.clickCheckBox("zel.sdk");
    EXPECT_EQ(driver.state("zel.sdk"), Qt::Checked);
    EXPECT_TRUE(isEmptyFullyPermittedFile("kv4_cam.log"));
    EXPECT_TRUE(isEmptyFullyPermittedFile("zel_conv.log"));
    EXPECT_EQ(read("kv4_cam.ini"),
              "[LOGGING]\r\nLogname=kv4_cam.log\r\nLogpath=" + logPath().toUtf8() + "\r\nLogging=0x0000FC03\r\n");
    EXPECT_EQ(read("zel_conv.ini"), "[LOGGING]\r\nLogname=zel_conv.log\r\nLogging=0x0000FC03\r\n");
}

TEST_F(SwitchTest, untickingCameraLinkDeletesItsFourLogsAndKeepsItsIni)
{
    for (const char *name : {"kv4_cl_me4.log", "kv4_cl_mtx.log", "kv4_cl_nat.log", "kv4_cl_ser.log"})
        write(name, "data");
    write("kv4_cl_param.ini", "[LOGGING]\r\n");
    write("kv4_usb.log", "usb");
    Dialog dialog;
    DialogDriver driver(dialog);
    ASSERT_EQ(driver.state("Camera Link"), Qt::Checked);
    driver.clickCheckBox("Camera Link");
    for (const char *name : {"kv4_cl_me4.log", "kv4_cl_mtx.log", "kv4_cl_nat.log", "kv4_cl_ser.log"})
        EXPECT_FALSE(exists(name)) << name;
    EXPECT_EQ(read("kv4_cl_param.ini"), "[LOGGING]\r\n");
    EXPECT_EQ(read("kv4_usb.log"), "usb");
}

TEST_F(SwitchTest, clickOnTheTextOfAnUntickedItemChangesNothing)
{
    write("kv4_usb_param.ini", "");
    Dialog dialog;
    DialogDriver driver(dialog);
    driver.clickText("USB");
    EXPECT_EQ(driver.state("USB"), Qt::Unchecked);
    EXPECT_FALSE(exists("kv4_usb.log"));
    EXPECT_EQ(read("kv4_usb_param.ini"), "");
}

TEST_F(SwitchTest, reTickKeepsExistingLogContents)
{
    write("kv4_usb.log", "captured frames\n");
    write("kv4_usb_param.ini", "");
    Dialog dialog;
    DialogDriver driver(dialog);
    driver.clickText("USB");
    EXPECT_EQ(read("kv4_usb.log"), "captured frames\n");
    EXPECT_EQ(read("kv4_usb_param.ini"), standardUsb(logPath()));
}

TEST_F(SwitchTest, tickingTheUncheckedGroupSwitchesOnAllSevenInterfaces)
{
    write("kv4_cl_param.ini", "");
    write("kv4_gige_param.ini", "");
    Dialog dialog;
    DialogDriver driver(dialog);
    driver.clickCheckBox("zel.interface");
    EXPECT_EQ(driver.state("zel.interface"), Qt::Checked);
    for (const QString &name : interfaceLogs)
        EXPECT_TRUE(isEmptyFullyPermittedFile(name)) << name.toStdString();
    // Each INI file is paired with its own component's first log.
    EXPECT_TRUE(read("kv4_cl_param.ini").contains("Logname=kv4_cl_me4.log\r\n"));
    EXPECT_TRUE(read("kv4_gige_param.ini").contains("Logname=kv4_gige.log\r\n"));
    EXPECT_FALSE(exists("kv4_cam.log"));
}

TEST_F(SwitchTest, tickingAPartlyCheckedGroupSwitchesAllOnAndKeepsLogs)
{
    write("kv4_usb.log", "old usb log");
    Dialog dialog;
    DialogDriver driver(dialog);
    ASSERT_EQ(driver.state("zel.interface"), Qt::PartiallyChecked);
    driver.clickCheckBox("zel.interface");
    EXPECT_EQ(driver.state("zel.interface"), Qt::Checked);
    for (const QString &name : interfaceLogs)
        EXPECT_TRUE(exists(name)) << name.toStdString();
    EXPECT_EQ(read("kv4_usb.log"), "old usb log");
}

TEST_F(SwitchTest, untickingTheGroupSwitchesAllSevenOff)
{
    for (const QString &name : interfaceLogs)
        write(name, "");
    write("kv4_cam.log", "");
    Dialog dialog;
    DialogDriver driver(dialog);
    ASSERT_EQ(driver.state("zel.interface"), Qt::Checked);
    driver.clickCheckBox("zel.interface");
    for (const QString &name : interfaceLogs)
        EXPECT_FALSE(exists(name)) << name.toStdString();
    EXPECT_TRUE(exists("kv4_cam.log"));
}

TEST_F(SwitchTest, tickingOneChildSwitchesOnlyIt)
{
    Dialog dialog;
    DialogDriver driver(dialog);
    driver.clickCheckBox("USB");
    EXPECT_EQ(driver.state("zel.interface"), Qt::PartiallyChecked);
    QStringList present;
    for (const QString &name : interfaceLogs)
        if (exists(name))
            present << name;
    EXPECT_EQ(present, QStringList({"kv4_usb.log"}));
}

TEST_F(SwitchTest, fullLevelIsWrittenIntoExactlyTheTickedComponentsIniFiles)
{
    for (const char *name : {"kv4_cam.log", "zel_conv.log", "kv4_usb.log"})
        write(name, "");
    for (const char *name : {"kv4_cam.ini", "zel_conv.ini", "kv4_usb_param.ini", "kv4_usb3_param.ini",
                             "zel_recorder_param.ini"})
        write(name, "[LOGGING]\r\nLogname=x.log\r\n");
    Dialog dialog;
    DialogDriver driver(dialog);
    driver.chooseLevel("Full");
    for (const char *name : {"kv4_cam.ini", "zel_conv.ini", "kv4_usb_param.ini"})
        EXPECT_EQ(read(name), "[LOGGING]\r\nLogname=x.log\r\nLogging=0x0000FFFF\r\n") << name;
    for (const char *name : {"kv4_usb3_param.ini", "zel_recorder_param.ini"})
        EXPECT_EQ(read(name), "[LOGGING]\r\nLogname=x.log\r\n") << name;
}

TEST_F(SwitchTest, levelChangeWithNothingTickedWritesNothing)
{
    write("kv4_usb_param.ini", "");
    Dialog dialog;
    DialogDriver driver(dialog);
    driver.chooseLevel("High");
    EXPECT_EQ(read("kv4_usb_param.ini"), "");
    EXPECT_EQ(DialogProbe::logLevel(dialog), "0x0000FC0B");
    driver.clickCheckBox("USB");
    EXPECT_TRUE(read("kv4_usb_param.ini").endsWith("Logging=0x0000FC0B\r\n"));
}

TEST_F(SwitchTest, logPathThatIsNoRegularFileStaysAsItIsAndLeavesItsComponentUnticked)
{
    QDir().mkpath(path("kv4_usb.log/keep"));
    write("kv4_usb_param.ini", "");
    MAKE_SYMLINK_OR_SKIP(outside("private.txt"), path("kv4_cam.log")); // dangling
    MAKE_SYMLINK_OR_SKIP(outside("sdk.txt"), path("zel_conv.log"));
    {
        QFile sdk(outside("sdk.txt"));
        ASSERT_TRUE(sdk.open(QIODevice::WriteOnly));
        sdk.write("outside");
        ASSERT_TRUE(sdk.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    }
    const QFileDevice::Permissions sdkPermissions = QFile::permissions(outside("sdk.txt"));
    const QMap<QString, QByteArray> before = outsideSnapshot();
    Dialog dialog;
    DialogDriver driver(dialog);
    EXPECT_EQ(driver.state("USB"), Qt::Unchecked);
    EXPECT_EQ(driver.state("zel.sdk"), Qt::Unchecked);
    for (int click = 0; click < 2; ++click) {
        driver.clickCheckBox("USB");
        driver.clickCheckBox("zel.sdk");
        EXPECT_EQ(driver.state("USB"), Qt::Unchecked) << "the tree shows what is on disk";
        EXPECT_EQ(driver.state("zel.sdk"), Qt::Unchecked);
    }
    EXPECT_TRUE(QFileInfo(path("kv4_usb.log/keep")).isDir());
    EXPECT_TRUE(QFileInfo(path("kv4_cam.log")).isSymLink());
    EXPECT_TRUE(QFileInfo(path("zel_conv.log")).isSymLink());
    EXPECT_EQ(outsideSnapshot(), before);
    EXPECT_EQ(QFile::permissions(outside("sdk.txt")), sdkPermissions);
    EXPECT_EQ(read("kv4_usb_param.ini"), standardUsb(logPath()));
}

TEST_F(SwitchTest, readOnlyLogFolderLosesNothing)
{
    if (!folderModesBind())
        GTEST_SKIP() << "a folder's modes do not bind here";
    write("kv4_usb.log", "keep me");
    write("kv4_usb_param.ini", "[LOGGING]\r\n");
    Dialog dialog;
    DialogDriver driver(dialog);
    QFile::setPermissions(logPath(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    driver.clickCheckBox("USB");  // off: the delete fails
    driver.clickCheckBox("zel.sdk");
    QFile::setPermissions(logPath(), QFileDevice::Permissions(0x7700));
    EXPECT_EQ(read("kv4_usb.log"), "keep me");
    EXPECT_FALSE(exists("kv4_cam.log"));
    // The INI file itself stays writable, so the SDK's missing INI files are simply absent.
    EXPECT_EQ(read("kv4_usb_param.ini"), "[LOGGING]\r\n");
}

// The level shown is never taken for the level in force: INI files that kept their old one are
// named, with the reason, in one message after the change.
TEST_F(SwitchTest, iniFilesThatCannotTakeTheLevelAreNamedInOneMessage)
{
    write("kv4_usb.log", "");
    write("kv4_usb_param.ini", "[LOGGING]\r\nnot an ini line\r\n");
    write("kv4_gige.log", "");
    write("kv4_gige_param.ini", "[LOGGING]\r\nLogging=1\r\nLogging=2\r\n");
    write("kv4_usb3.log", "");
    write("kv4_usb3_param.ini", "[LOGGING]\r\n");
    Dialog dialog;
    DialogDriver driver(dialog);
    QStringList shown;
    QTimer boxes;
    QObject::connect(&boxes, &QTimer::timeout, [&shown] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            shown << box->text();
            box->accept();
        }
    });
    boxes.start(20);
    driver.chooseLevel("Full");
    boxes.stop();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].startsWith("These INI files could not take the logging level:\n")) << shown[0].toStdString();
    EXPECT_TRUE(shown[0].contains(QDir::toNativeSeparators(path("kv4_usb_param.ini")) + ": it holds text that is no INI"))
        << shown[0].toStdString();
    EXPECT_TRUE(shown[0].contains(QDir::toNativeSeparators(path("kv4_gige_param.ini")) + ": "));
    EXPECT_FALSE(shown[0].contains("kv4_usb3_param.ini"));
    EXPECT_EQ(read("kv4_usb_param.ini"), "[LOGGING]\r\nnot an ini line\r\n");
    EXPECT_TRUE(read("kv4_usb3_param.ini").endsWith("Logging=0x0000FFFF\r\n"));
}
