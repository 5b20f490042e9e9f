// The Windows log-folder choice is plain Qt code, so it is checked here too, with the XDG
// locations standing in for the program-data and the user's folders.

#include "logfolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(WindowsLogFolder, programDataFolderStaysEvenWhenItCannotBeUsed)
{
    QTemporaryDir root;
    ASSERT_TRUE(QDir(root.path()).mkpath("home"));
    // A regular file where the shared data folder should be: nothing can be created below it.
    QFile blocker(root.path() + "/blocker");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    qputenv("XDG_DATA_DIRS", blocker.fileName().toUtf8());
    qputenv("XDG_DATA_HOME", (root.path() + "/home").toUtf8());
    EXPECT_EQ(findLogFolder().toStdString(), (root.path() + "/blocker/zel/").toStdString());
    EXPECT_FALSE(QFileInfo::exists(root.path() + "/home/zel"));
}
