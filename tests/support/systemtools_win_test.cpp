// The Windows tools: their paths, names and argument lists, and that a program planted under
// their names in the current folder is never started in their place.

#include "plainfile.h"
#include "systemtools.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <windows.h>

namespace {

QString systemFolder()
{
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    return QDir::fromNativeSeparators(QString::fromWCharArray(folder, int(length)));
}

} // namespace

TEST(WindowsSystemTools, reportToolWritesTheReportOfNineCategoriesItself)
{
    const SystemTool tool = systemReportTool();
    EXPECT_EQ(tool.program.toStdString(), (systemFolder() + "/msinfo32.exe").toStdString());
    EXPECT_EQ(tool.outputName, "conflicts.nfo");
    EXPECT_FALSE(tool.capture);
    EXPECT_EQ(toolArguments(tool, "C:/Users/a/Temp/x/conflicts.nfo"),
              QStringList({"/nfo", "C:/Users/a/Temp/x/conflicts.nfo",
                           "/categories+SystemSummary+ComponentsProblemDevices+ResourcesConflicts+ResourcesDMA"
                           "+ResourcesForcedHardware+ResourcesIO+ResourcesIRQS+ResourcesMemory+ComponentsDisplay"}));
}

// The argument string is split before the path goes in, so a comma in it cuts nothing.
TEST(WindowsSystemTools, pathWithACommaStaysOneArgument)
{
    EXPECT_EQ(toolArguments(systemReportTool(), "C:/Data, old/conflicts.nfo").value(1), "C:/Data, old/conflicts.nfo");
}

TEST(WindowsSystemTools, networkListingIsCapturedFromIpconfigAll)
{
    const SystemTool tool = networkTool();
    EXPECT_EQ(tool.program.toStdString(), (systemFolder() + "/ipconfig.exe").toStdString());
    EXPECT_EQ(toolArguments(tool.arguments), QStringList({"/all"}));
    EXPECT_EQ(tool.outputName, "network.txt");
    EXPECT_TRUE(tool.capture);
}

// An administrator may start the program from the log folder, which every user may write. A
// program by a tool's bare name there would be found before the system's own.
TEST(WindowsSystemTools, toolsPlantedInTheCurrentFolderAreNotStarted)
{
    QTemporaryDir plants;
    QTemporaryDir logs;
    ASSERT_TRUE(plants.isValid() && logs.isValid());
    const QString mark = plants.filePath("planted-ran");
    for (const char *name : {"ipconfig.exe", "msinfo32.exe"})
        ASSERT_TRUE(QFile::copy(ZEL_PLANTED_TOOL, plants.filePath(name))) << name;
    // The plant leaves its mark when it is started.
    const std::atomic<bool> cancel{false};
    const auto beside = HeldFolder::hold(plants.path() + "/");
    const auto folder = HeldFolder::hold(logs.path() + "/");
    ASSERT_TRUE(beside && folder);
    ToolRecord probe;
    SystemTool plant = networkTool();
    plant.program = plants.filePath("ipconfig.exe");
    ASSERT_NE(captureToolOutput(plant, *beside, cancel, probe), nullptr);
    ASSERT_TRUE(QFile::remove(mark)) << "the plant left no mark";

    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(plants.path()));
    for (const SystemTool &tool : {systemReportTool(), networkTool()}) {
        ToolRecord record;
        captureToolOutput(tool, *folder, cancel, record);
        EXPECT_FALSE(QFile::exists(mark)) << tool.program.toStdString() << " ran the plant";
        QFile::remove(mark);
    }
    QDir::setCurrent(before);
    QFile network(logs.filePath("network.txt"));
    if (network.open(QIODevice::ReadOnly)) {
        EXPECT_FALSE(network.readAll().contains("planted"));
    }
}
