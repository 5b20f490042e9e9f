// The Simple MAPI hand-off, against a stand-in MAPI32.DLL beside the test program: the system's
// hand-off never loads that one, the stand-in loaded by its path is released with the hand-off,
// and MAPISendMail gets the message, its one recipient and its attachment with every field as
// the support mail needs it.

#include "mail.h"
#include "mapi_double.h"
#include "mapimail.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

const MailMessage supportMail = {"ZEL we've got a problem", "Dear ZEL support,\r\n\r\nRegards,",
                                 "support@zel.example.com", "C:/ProgramData/zel/zel_support.zip"};

// The stand-in's exports, while a hand-off holds it loaded.
template <typename Function>
Function standIn(const char *name)
{
    const HMODULE library = GetModuleHandleW(L"MAPI32.DLL");
    if (!library)
        throw std::runtime_error("MAPI32.DLL is not loaded");
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

const std::vector<RecordedMail> &calls()
{
    return *standIn<RecordedMailsFunction>("recordedMails")();
}

void answerWith(ULONG result)
{
    standIn<AnswerWithFunction>("answerWith")(result);
}

std::filesystem::path modulePath(HMODULE module)
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    return std::filesystem::path(std::wstring(path, length));
}

// The hand-off through the stand-in beside the test program.
std::unique_ptr<MailHandOff> openStandIn()
{
    return openSimpleMapi((modulePath(nullptr).parent_path() / L"MAPI32.DLL").c_str(), 0);
}

// The one call a single send made.
RecordedMail sentAlone(const MailMessage &mail, std::uintptr_t window = 0)
{
    const std::unique_ptr<MailHandOff> handOff = openStandIn();
    if (!handOff)
        throw std::runtime_error("no hand-off");
    EXPECT_EQ(handOff->send(mail, window), MailOutcome::Taken);
    if (calls().size() != 1)
        throw std::runtime_error(std::to_string(calls().size()) + " calls");
    return calls()[0];
}

} // namespace

// The program's folder, where the default search looks first, holds a MAPI32.DLL: the system's
// hand-off takes the system folder's or none.
TEST(SimpleMapi, handOffNeverLoadsALibraryBesideTheProgram)
{
    ASSERT_EQ(GetModuleHandleW(L"MAPI32.DLL"), nullptr);
    ASSERT_TRUE(std::filesystem::exists(modulePath(nullptr).parent_path() / L"MAPI32.DLL"));
    std::unique_ptr<MailHandOff> handOff = openMailHandOff();
    wchar_t system[MAX_PATH];
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    ASSERT_GT(length, 0u);
    if (const HMODULE library = GetModuleHandleW(L"MAPI32.DLL")) {
        EXPECT_TRUE(std::filesystem::equivalent(modulePath(library).parent_path(),
                                                std::filesystem::path(std::wstring(system, length))))
            << modulePath(library).string();
        EXPECT_EQ(GetProcAddress(library, "recordedMails"), nullptr) << "the stand-in";
    }
    handOff.reset();
    EXPECT_EQ(GetModuleHandleW(L"MAPI32.DLL"), nullptr);
}

TEST(SimpleMapi, libraryLoadedByItsPathIsReleasedWithTheHandOff)
{
    ASSERT_EQ(GetModuleHandleW(L"MAPI32.DLL"), nullptr);
    std::unique_ptr<MailHandOff> handOff = openStandIn();
    ASSERT_NE(handOff, nullptr);
    const HMODULE library = GetModuleHandleW(L"MAPI32.DLL");
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(modulePath(library).parent_path(), modulePath(nullptr).parent_path()) << "not the stand-in";
    EXPECT_TRUE(calls().empty()) << "nothing is sent before send";
    handOff.reset();
    EXPECT_EQ(GetModuleHandleW(L"MAPI32.DLL"), nullptr);
}

TEST(SimpleMapi, sendHandsOverEveryFieldOfMessageRecipientAndAttachment)
{
    const uintptr_t window = static_cast<uintptr_t>(0x7FFE12345678ABCD); // all 64 bits arrive
    const RecordedMail mail = sentAlone(supportMail, window);
    EXPECT_EQ(mail.session, 0u) << "no existing logon";
    EXPECT_EQ(mail.window, window);
    EXPECT_EQ(mail.flags, 9u) << "MAPI_LOGON_UI | MAPI_DIALOG";
    EXPECT_EQ(mail.reserved, 0u);

    EXPECT_EQ(mail.messageReserved, 0u);
    EXPECT_EQ(mail.subject, "ZEL we've got a problem");
    EXPECT_EQ(mail.noteText, supportMail.body);
    EXPECT_EQ(mail.messageType, std::nullopt);
    EXPECT_EQ(mail.dateReceived, std::nullopt);
    EXPECT_EQ(mail.conversationId, std::nullopt);
    EXPECT_EQ(mail.messageFlags, 0u);
    EXPECT_FALSE(mail.hasOriginator);

    EXPECT_EQ(mail.recipientCount, 1u);
    ASSERT_EQ(mail.recipients.size(), 1u);
    const RecordedRecipient &recipient = mail.recipients[0];
    EXPECT_EQ(recipient.reserved, 0u);
    EXPECT_EQ(recipient.recipClass, static_cast<ULONG>(MAPI_TO));
    EXPECT_EQ(recipient.name, "support@zel.example.com") << "the address goes as the name";
    EXPECT_EQ(recipient.address, std::nullopt);
    EXPECT_EQ(recipient.entryIdSize, 0u);
    EXPECT_FALSE(recipient.hasEntryId);

    EXPECT_EQ(mail.fileCount, 1u);
    ASSERT_EQ(mail.files.size(), 1u);
    const RecordedFile &file = mail.files[0];
    EXPECT_EQ(file.reserved, 0u);
    EXPECT_EQ(file.flags, 0u);
    EXPECT_EQ(file.position, 0u);
    EXPECT_EQ(file.pathName, "C:/ProgramData/zel/zel_support.zip");
    EXPECT_EQ(file.fileName, "zel_support.zip");
    EXPECT_FALSE(file.hasFileType);
}

TEST(SimpleMapi, mailWithoutArchiveHasNoFileDescriptor)
{
    MailMessage plain = supportMail;
    plain.attachmentPath.clear();
    const RecordedMail mail = sentAlone(plain);
    EXPECT_EQ(mail.fileCount, 0u);
    EXPECT_TRUE(mail.files.empty()) << "lpFiles is null";
    EXPECT_EQ(mail.recipientCount, 1u);
}

TEST(SimpleMapi, failureOfTheMailProgramIsReportedAndLeavesNothingForTheNextMail)
{
    const std::unique_ptr<MailHandOff> handOff = openStandIn();
    ASSERT_NE(handOff, nullptr);
    answerWith(MAPI_E_USER_ABORT);
    EXPECT_EQ(handOff->send(supportMail, 0), MailOutcome::Cancelled);
    for (const ULONG failure : {ULONG(MAPI_E_LOGIN_FAILURE), ULONG(MAPI_E_NOT_SUPPORTED), ULONG(MAPI_E_FAILURE)}) {
        answerWith(failure);
        EXPECT_EQ(handOff->send(supportMail, 0), MailOutcome::Failed) << failure;
    }
    answerWith(SUCCESS_SUCCESS);
    MailMessage plain = supportMail;
    plain.attachmentPath.clear();
    plain.body = "short";
    EXPECT_EQ(handOff->send(plain, 0), MailOutcome::Taken);
    ASSERT_EQ(calls().size(), 5u);
    EXPECT_EQ(calls()[4].fileCount, 0u);
    EXPECT_TRUE(calls()[4].files.empty());
    EXPECT_EQ(calls()[4].noteText, "short");
}

struct BufferRow {
    size_t bodyLength;
    size_t pathLength;
    size_t bodyKept;
    bool attached;
};

class MapiBuffers : public testing::TestWithParam<BufferRow> {};

// The body goes through a 4000-byte buffer and the path through a 1000-byte one. A cut path
// would name another file, so a path that does not fit leaves the mail without attachment.
TEST_P(MapiBuffers, bodyIsCutToFitAndAPathThatDoesNotFitIsNotAttached)
{
    std::string body;
    while (body.size() < GetParam().bodyLength)
        body += "line " + std::to_string(body.size()) + "\r\n";
    body.resize(GetParam().bodyLength);
    const std::string folder = "C:/zel/" + std::string(GetParam().pathLength - 23, 'f') + "/";
    MailMessage mail = supportMail;
    mail.body = body;
    mail.attachmentPath = folder + "zel_support.zip";
    ASSERT_EQ(mail.attachmentPath.size(), GetParam().pathLength);

    const RecordedMail sent = sentAlone(mail);
    EXPECT_EQ(sent.noteText, body.substr(0, GetParam().bodyKept));
    EXPECT_EQ(sent.fileCount, GetParam().attached ? 1u : 0u);
    ASSERT_EQ(sent.files.size(), GetParam().attached ? 1u : 0u);
    if (GetParam().attached) {
        EXPECT_EQ(sent.files[0].pathName, mail.attachmentPath);
        EXPECT_EQ(sent.files[0].fileName, "zel_support.zip");
    }
}

INSTANTIATE_TEST_SUITE_P(Lengths, MapiBuffers,
                         testing::Values(BufferRow{0, 100, 0, true}, BufferRow{3999, 999, 3999, true},
                                         BufferRow{4000, 1000, 3999, false}, BufferRow{10000, 5000, 3999, false}));

class MapiFileName : public testing::TestWithParam<const char *> {};

TEST_P(MapiFileName, isWhatFollowsTheLastSeparatorAndThePathGoesUnchanged)
{
    MailMessage mail = supportMail;
    mail.attachmentPath = GetParam();
    const RecordedMail sent = sentAlone(mail);
    ASSERT_EQ(sent.files.size(), 1u);
    EXPECT_EQ(sent.files[0].pathName, GetParam());
    EXPECT_EQ(sent.files[0].fileName, "zel_support.zip");
}

// Paths are UTF-8, as the dialog hands them over.
INSTANTIATE_TEST_SUITE_P(Paths, MapiFileName,
                         testing::Values("C:/ProgramData/zel/zel_support.zip", "C:\\ProgramData\\zel\\zel_support.zip",
                                         "D:/logs\\zel/zel_support.zip", "C:/Users/J\xC3\xB6rg/zel/zel_support.zip",
                                         "zel_support.zip"));
