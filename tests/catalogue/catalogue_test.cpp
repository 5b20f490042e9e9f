#include "catalogue.h"
#include "logfolder.h"
#include "testenv.h"

#include <QFile>

TEST(Catalogue, holdsTheElevenComponentsInInsertionOrder)
{
    const QVector<ComponentEntry> &entries = catalogueEntries();
    ASSERT_EQ(entries.size(), 11);
    QStringList keys;
    for (const ComponentEntry &entry : entries)
        keys << entry.key;
    EXPECT_EQ(keys, QStringList({"zel.devicemgr", "zel.sdk", "zel.recorder", "zel.matlab adaptor",
                                 "zel.interface firewire", "zel.interface cl", "zel.interface clhs",
                                 "zel.interface usb", "zel.interface usb3", "zel.interface gige",
                                 "zel.interface genicam"}));
    EXPECT_TRUE(entries[0].logNames.isEmpty());
    EXPECT_TRUE(entries[0].paramNames.isEmpty());
    EXPECT_EQ(entries[5].logNames, QStringList({"kv4_cl_me4", "kv4_cl_mtx", "kv4_cl_nat", "kv4_cl_ser"}));
    EXPECT_EQ(entries[5].paramNames, QStringList({"kv4_cl_param"}));
    EXPECT_EQ(entries[9].logNames, QStringList({"kv4_gige", "kv4_gige2"}));
    for (const ComponentEntry &entry : entries)
        EXPECT_GE(entry.logNames.size(), entry.paramNames.size()) << entry.key.toStdString();
}

TEST(Catalogue, pathsAreFolderNameAndSuffixConcatenated)
{
    const ComponentEntry &sdk = catalogueEntries().at(1);
    EXPECT_EQ(logPaths("/x/zel/", sdk), QStringList({"/x/zel/kv4_cam.log", "/x/zel/zel_conv.log"}));
    EXPECT_EQ(paramPaths("/x/zel/", sdk), QStringList({"/x/zel/kv4_cam.ini", "/x/zel/zel_conv.ini"}));
    EXPECT_EQ(paramPaths("/p/", catalogueEntries().at(2)), QStringList({"/p/zel_recorder_param.ini"}));
    EXPECT_TRUE(logPaths("/x/", catalogueEntries().at(0)).isEmpty());
}

TEST(LogFolderRule, dropsTheFirstEntryEqualToTheWritableLocation)
{
    EXPECT_EQ(sharedLogFolder({"/home/u/.local/share", "/usr/local/share", "/usr/share"}, "/home/u/.local/share"),
              "/usr/local/share/zel/");
    EXPECT_EQ(sharedLogFolder({"C:/ProgramData", "C:/Users/u/AppData/Local"}, "C:/Users/u/AppData/Local"),
              "C:/ProgramData/zel/");
    // Only an exact, case-sensitive match is removed.
    EXPECT_EQ(sharedLogFolder({"/Home/u", "/usr/share"}, "/home/u"), "/Home/u/zel/");
    EXPECT_EQ(sharedLogFolder({"/a", "/a", "/b"}, "/a"), "/a/zel/");
    EXPECT_EQ(sharedLogFolder({"/home/u"}, "/home/u"), QString());
    EXPECT_EQ(sharedLogFolder({}, "/home/u"), QString());
}

TEST_F(LogFolderTest, machineWideFolderIsUsedWhenItCanBeWritten)
{
    EXPECT_EQ(findLogFolder(), logPath());
}

TEST(FolderDiff, reportsAppearedNamesWhenTheListingDidNotShrink)
{
    EXPECT_EQ(changedNames({".", "..", "a.ini"}, {".", "..", "a.ini", "kv4_usb.log"}), "kv4_usb.log");
    // Appending to a log changes no name.
    EXPECT_EQ(changedNames({".", "..", "kv4_usb.log"}, {".", "..", "kv4_usb.log"}), QString());
    // A rename keeps the count: the new name is the change.
    EXPECT_EQ(changedNames({".", "..", "old.log"}, {".", "..", "new.log"}), "new.log");
}

TEST(FolderDiff, reportsDisappearedNamesWhenTheListingShrank)
{
    EXPECT_EQ(changedNames({".", "..", "a.ini", "kv4_usb.log"}, {".", "..", "a.ini"}), "kv4_usb.log");
    // Only one direction is seen: one name gone and two new ones count as the new ones.
    const QString changed = changedNames({".", "..", "gone.log"}, {".", "..", "x.txt", "y.txt"});
    EXPECT_EQ(changed.split(' ').size(), 2);
    EXPECT_FALSE(changed.contains("gone.log"));
}

TEST(FolderDiff, onlyATextEndingInLowerCaseLogConcernsLogFiles)
{
    EXPECT_TRUE(touchesLogFiles("kv4_usb.log"));
    EXPECT_FALSE(touchesLogFiles("notes.txt"));
    EXPECT_FALSE(touchesLogFiles("KV4_USB.LOG"));
    EXPECT_FALSE(touchesLogFiles(QString()));
    EXPECT_TRUE(touchesLogFiles("a.txt b.log"));
    EXPECT_FALSE(touchesLogFiles("b.log a.txt"));
}
