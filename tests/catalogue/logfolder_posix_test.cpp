// Where the machine-wide log folder cannot be used, the user's own data folder stands in.

#include "logfolder.h"
#include "testenv.h"

#include <QFile>

// The probe for a usable folder creates it (on Windows the dialog does).
TEST_F(LogFolderTest, missingMachineWideFolderIsCreated)
{
    QDir(logPath()).removeRecursively();
    EXPECT_EQ(findLogFolder(), logPath());
    EXPECT_TRUE(QFileInfo(logPath()).isDir());
    EXPECT_FALSE(isFallbackFolder(findLogFolder()));
}

TEST_F(LogFolderTest, userFolderStandsInWhenTheMachineWideOneCannotBeCreated)
{
    // A regular file where the shared data folder should be: nothing can be created below it.
    write("../../blocker", "x");
    qputenv("XDG_DATA_DIRS", (root.path() + "/blocker").toUtf8());
    EXPECT_EQ(findLogFolder(), root.path() + "/home/zel/");
    EXPECT_TRUE(QFileInfo(root.path() + "/home/zel").isDir());
}

TEST_F(LogFolderTest, userFolderStandsInWhenTheMachineWideOneIsReadOnly)
{
    QFile::setPermissions(logPath(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(findLogFolder(), root.path() + "/home/zel/");
    EXPECT_TRUE(isFallbackFolder(findLogFolder()));
}

TEST_F(LogFolderTest, machineWidePathStaysWhenNoFolderCanBeUsed)
{
    write("../../blocker", "x");
    qputenv("XDG_DATA_DIRS", (root.path() + "/blocker").toUtf8());
    qputenv("XDG_DATA_HOME", (root.path() + "/blocker/home").toUtf8());
    EXPECT_EQ(findLogFolder(), root.path() + "/blocker/zel/");
}
