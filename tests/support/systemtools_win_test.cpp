// The Windows tools are plain Qt code, so their names and argument lists are checked on every
// platform, through the same argument split that starts them.

#include "systemtools.h"

#include <gtest/gtest.h>

TEST(WindowsSystemTools, reportToolWritesTheReportOfNineCategoriesItself)
{
    const SystemTool tool = systemReportTool();
    EXPECT_EQ(tool.program, "msinfo32.exe");
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
    EXPECT_EQ(tool.program, "ipconfig.exe");
    EXPECT_EQ(toolArguments(tool.arguments), QStringList({"/all"}));
    EXPECT_EQ(tool.outputName, "network.txt");
    EXPECT_TRUE(tool.capture);
}
