// The mail hand-off on its own, without Qt: a stand-in xdg-email on PATH records what it is given.

#include "mail.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class MailTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char *path = std::getenv("PATH");
        savedPath = path ? path : "";
        std::string pattern = (fs::temp_directory_path() / "mail_test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = pattern;
        fs::create_directory(bin());
        setenv("PATH", bin().c_str(), 1);
    }

    void TearDown() override
    {
        setenv("PATH", savedPath.c_str(), 1);
        if (!folder.empty())
            fs::remove_all(folder);
    }

    fs::path bin() const { return fs::path(folder) / "bin"; }

    // A stand-in xdg-email that writes each argument followed by a NUL, then runs `script`.
    void addXdgEmail(const std::string &script, fs::perms perms = fs::perms::owner_all) const
    {
        const fs::path program = bin() / "xdg-email";
        std::ofstream(program) << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\0' \"$a\"; done > '"
                               << recordPath().string() << "'\n"
                               << script << "\n";
        fs::permissions(program, perms);
    }

    fs::path recordPath() const { return fs::path(folder) / "arguments"; }

    std::vector<std::string> recorded() const
    {
        std::ifstream in(recordPath(), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<std::string> arguments;
        std::string::size_type start = 0;
        for (std::string::size_type end; (end = bytes.find('\0', start)) != std::string::npos; start = end + 1)
            arguments.push_back(bytes.substr(start, end - start));
        return arguments;
    }

    std::string folder;
    std::string savedPath;
};

const MailMessage mail = {"ZEL we've got a problem", "line one\r\n\r\nline three", "support@zel.example.com",
                          "/logs/zel/zel_support.zip"};

} // namespace

TEST_F(MailTest, noHandOffWithoutXdgEmailOnPath)
{
    EXPECT_EQ(openMailHandOff(), nullptr);
    unsetenv("PATH");
    EXPECT_EQ(openMailHandOff(), nullptr);
    setenv("PATH", "", 1);
    EXPECT_EQ(openMailHandOff(), nullptr);
}

TEST_F(MailTest, noHandOffForAFileThatCannotRunOrAFolder)
{
    addXdgEmail("exit 0", fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(openMailHandOff(), nullptr);
    fs::remove(bin() / "xdg-email");
    fs::create_directory(bin() / "xdg-email");
    EXPECT_EQ(openMailHandOff(), nullptr);
}

TEST_F(MailTest, xdgEmailIsFoundInALaterPathFolder)
{
    addXdgEmail("exit 0");
    const std::string path = folder + "/nothing-here::" + bin().string();
    setenv("PATH", path.c_str(), 1);
    const std::unique_ptr<MailHandOff> handOff = openMailHandOff();
    ASSERT_NE(handOff, nullptr);
    EXPECT_EQ(handOff->send(mail, 0), MailOutcome::Taken);
    EXPECT_FALSE(recorded().empty());
}

TEST_F(MailTest, messageGoesOverAsSeparateArgumentsWithTheAttachmentBeforeTheRecipient)
{
    addXdgEmail("exit 0");
    const std::unique_ptr<MailHandOff> handOff = openMailHandOff();
    ASSERT_NE(handOff, nullptr);
    ASSERT_EQ(handOff->send(mail, 12345), MailOutcome::Taken);
    EXPECT_EQ(recorded(), std::vector<std::string>({"--subject", "ZEL we've got a problem", "--body",
                                                    "line one\n\nline three", "--attach",
                                                    "/logs/zel/zel_support.zip", "support@zel.example.com"}));

    MailMessage plain = mail;
    plain.attachmentPath.clear();
    ASSERT_EQ(handOff->send(plain, 0), MailOutcome::Taken);
    EXPECT_EQ(recorded(), std::vector<std::string>({"--subject", "ZEL we've got a problem", "--body",
                                                    "line one\n\nline three", "support@zel.example.com"}));
}

TEST_F(MailTest, noTextOfTheMessageIsReadByAShell)
{
    addXdgEmail("exit 0");
    const std::unique_ptr<MailHandOff> handOff = openMailHandOff();
    ASSERT_NE(handOff, nullptr);
    const std::string marker = folder + "/touched";
    MailMessage risky = mail;
    risky.subject = "$(touch " + marker + ")";
    risky.body = "`touch " + marker + "`; touch " + marker + " 'quoted' \"double\" $HOME";
    risky.attachmentPath = "/a path/with spaces;and|pipes.zip";
    ASSERT_EQ(handOff->send(risky, 0), MailOutcome::Taken);
    EXPECT_FALSE(fs::exists(marker));
    const std::vector<std::string> arguments = recorded();
    ASSERT_EQ(arguments.size(), 7u);
    EXPECT_EQ(arguments[1], risky.subject);
    EXPECT_EQ(arguments[3], risky.body);
    EXPECT_EQ(arguments[5], risky.attachmentPath);
}

TEST_F(MailTest, sendWaitsForTheMailProgramAndReportsHowItEnded)
{
    const std::string done = folder + "/done";
    // Busy for a moment (PATH holds no sleep), then leaves a mark.
    addXdgEmail("i=0; while [ $i -lt 100000 ]; do i=$((i + 1)); done\n: > '" + done +
                "'\nexit ${ZEL_MAIL_EXIT:-0}");
    const std::unique_ptr<MailHandOff> handOff = openMailHandOff();
    ASSERT_NE(handOff, nullptr);
    EXPECT_EQ(handOff->send(mail, 0), MailOutcome::Taken);
    EXPECT_TRUE(fs::exists(done)) << "send returned before the mail program ended";

    setenv("ZEL_MAIL_EXIT", "1", 1);
    EXPECT_EQ(handOff->send(mail, 0), MailOutcome::Failed);
    unsetenv("ZEL_MAIL_EXIT");

    addXdgEmail("kill -KILL $$");
    EXPECT_EQ(handOff->send(mail, 0), MailOutcome::Failed);
}
