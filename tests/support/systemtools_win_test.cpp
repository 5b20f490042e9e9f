// The Windows tools are plain Qt code, so their names and argument lists are checked on every
// platform, through the same argument split that starts them.

#include "systemtools.h"

#include <gtest/gtest.h>

TEST(WindowsSystemTools, reportToolWritesTheReportOfNineCategoriesItself)
{
    const std::optional<SystemTool> tool = systemReportTool("C:/ProgramData/zel/");
    ASSERT_TRUE(tool);
    EXPECT_EQ(tool->program, "msinfo32.exe");
    EXPECT_EQ(tool->outputName, "conflicts.nfo");
    EXPECT_FALSE(tool->capture);
    EXPECT_EQ(toolArguments(tool->arguments),
              QStringList({"/nfo", "C:/ProgramData/zel/~conflicts.nfo",
                           "/categories+SystemSummary+ComponentsProblemDevices+ResourcesConflicts+ResourcesDMA"
                           "+ResourcesForcedHardware+ResourcesIO+ResourcesIRQS+ResourcesMemory+ComponentsDisplay"}));
}

TEST(WindowsSystemTools, logFolderWithACommaGetsNoReportRatherThanACutPath)
{
    EXPECT_FALSE(systemReportTool("C:/Data, old/zel/"));
    EXPECT_TRUE(systemReportTool("C:/Data old/zel/"));
}

TEST(WindowsSystemTools, networkListingIsCapturedFromIpconfigAll)
{
    const SystemTool tool = networkTool();
    EXPECT_EQ(tool.program, "ipconfig.exe");
    EXPECT_EQ(toolArguments(tool.arguments), QStringList({"/all"}));
    EXPECT_EQ(tool.outputName, "network.txt");
    EXPECT_TRUE(tool.capture);
}
