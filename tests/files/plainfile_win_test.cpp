// The Windows rules: whose a file is goes by its access list as well as its owner, and the log
// folder is held only where no junction lies on its way.

#include "plainfile.h"
#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstring>
#include <vector>

#include <aclapi.h>
#include <windows.h>

// One entry of an access list beside the user's full access.
struct OwnGrant {
    const char *what;
    WELL_KNOWN_SID_TYPE who;
    BYTE type; // ACCESS_ALLOWED_ACE_TYPE or ACCESS_DENIED_ACE_TYPE
    ACCESS_MASK rights;
    BYTE flags;
    bool own; // whether the file still counts as the user's own
};

void PrintTo(const OwnGrant &grant, std::ostream *out)
{
    *out << grant.what;
}

namespace {

std::wstring native(const QString &path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

// A security identifier in a buffer of its own: a well-known one, or the running user's.
struct Sid {
    union {
        SID sid;
        char bytes[SECURITY_MAX_SID_SIZE];
    } buffer{};

    explicit Sid(WELL_KNOWN_SID_TYPE type)
    {
        DWORD size = sizeof buffer;
        CreateWellKnownSid(type, nullptr, &buffer, &size);
    }
    Sid()
    {
        HANDLE token = nullptr;
        union {
            TOKEN_USER user;
            char bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
        } self{};
        DWORD length = 0;
        if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) &&
            GetTokenInformation(token, TokenUser, &self, sizeof self, &length))
            CopySid(sizeof buffer, &buffer, self.user.User.Sid);
        if (token)
            CloseHandle(token);
    }
    PSID get() { return &buffer.sid; }
};

// Gives the file at `path` the user's full access and `grant`, nothing handed down; false where
// the access list does not stay as given (Wine keeps one only where it can store it).
bool giveAccess(const QString &path, const OwnGrant &grant)
{
    Sid user;
    Sid other(grant.who);
    union {
        ACL acl;
        char bytes[512];
    } list{};
    const bool built = InitializeAcl(&list.acl, sizeof list, ACL_REVISION) &&
                       AddAccessAllowedAce(&list.acl, ACL_REVISION, FILE_ALL_ACCESS, user.get()) &&
                       (grant.type == ACCESS_DENIED_ACE_TYPE
                            ? AddAccessDeniedAceEx(&list.acl, ACL_REVISION, grant.flags, grant.rights, other.get())
                            : AddAccessAllowedAceEx(&list.acl, ACL_REVISION, grant.flags, grant.rights, other.get()));
    std::wstring name = native(path);
    if (!built || SetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT,
                                        DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                                        nullptr, &list.acl, nullptr) != ERROR_SUCCESS)
        return false;
    PACL kept = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &kept, nullptr,
                              &descriptor) != ERROR_SUCCESS)
        return false;
    bool found = false;
    for (DWORD i = 0; kept && i < kept->AceCount; ++i) {
        void *entry = nullptr;
        const auto *ace = GetAce(kept, i, &entry) ? static_cast<const ACCESS_ALLOWED_ACE *>(entry) : nullptr;
        found = found || (ace && ace->Header.AceType == grant.type && ace->Mask == grant.rights &&
                          EqualSid(const_cast<DWORD *>(&ace->SidStart), other.get()));
    }
    LocalFree(descriptor);
    return found;
}

class OwnAccess : public testing::TestWithParam<OwnGrant> {};

} // namespace

TEST_P(OwnAccess, aFileCountsAsOwnOnlyWhenNobodyElseMayChangeIt)
{
    QTemporaryDir root;
    const auto folder = HeldFolder::hold(root.path() + "/");
    ASSERT_NE(folder, nullptr);
    QString name;
    ASSERT_NE(folder->createUnique("report~", ".nfo", name, NewFileAccess::Private), nullptr);
    if (!giveAccess(root.filePath(name), GetParam()))
        GTEST_SKIP() << "the access list does not stay as given (Wine stores none here)";
    const PlainFile file = folder->open(name, false);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(ownedByUser(file.get()), GetParam().own);
}

INSTANTIATE_TEST_SUITE_P(
    Grants, OwnAccess,
    testing::Values(OwnGrant{"Users may read", WinBuiltinUsersSid, ACCESS_ALLOWED_ACE_TYPE, FILE_GENERIC_READ, 0, true},
                    OwnGrant{"Users may modify", WinBuiltinUsersSid, ACCESS_ALLOWED_ACE_TYPE,
                             FILE_GENERIC_READ | FILE_GENERIC_WRITE | DELETE, 0, false},
                    OwnGrant{"Everyone may append", WinWorldSid, ACCESS_ALLOWED_ACE_TYPE, FILE_APPEND_DATA, 0, false},
                    OwnGrant{"Users may change attributes", WinBuiltinUsersSid, ACCESS_ALLOWED_ACE_TYPE,
                             FILE_WRITE_ATTRIBUTES, 0, false},
                    OwnGrant{"Users may delete", WinBuiltinUsersSid, ACCESS_ALLOWED_ACE_TYPE, DELETE, 0, false},
                    OwnGrant{"Users may change the rights", WinBuiltinUsersSid, ACCESS_ALLOWED_ACE_TYPE, WRITE_DAC, 0,
                             false},
                    OwnGrant{"Everyone may take it over", WinWorldSid, ACCESS_ALLOWED_ACE_TYPE, WRITE_OWNER, 0, false},
                    OwnGrant{"Everyone has all", WinWorldSid, ACCESS_ALLOWED_ACE_TYPE, GENERIC_ALL, 0, false},
                    OwnGrant{"Everyone is denied writing", WinWorldSid, ACCESS_DENIED_ACE_TYPE, FILE_GENERIC_WRITE, 0,
                             true},
                    OwnGrant{"Users may modify only what it would hand down", WinBuiltinUsersSid,
                             ACCESS_ALLOWED_ACE_TYPE, FILE_GENERIC_WRITE, INHERIT_ONLY_ACE | OBJECT_INHERIT_ACE, true},
                    OwnGrant{"SYSTEM has all", WinLocalSystemSid, ACCESS_ALLOWED_ACE_TYPE, FILE_ALL_ACCESS, 0, true},
                    OwnGrant{"Administrators have all", WinBuiltinAdministratorsSid, ACCESS_ALLOWED_ACE_TYPE,
                             FILE_ALL_ACCESS, 0, true}));

// A folder that hands Users:Modify down, as the log folder does: a file made there as usual is
// anybody's, one the program makes for itself is its own, whatever access it was made with.
TEST(OwnFiles, filesMadeByTheProgramStayItsOwnInAFolderThatHandsWritingDown)
{
    QTemporaryDir root;
    Sid user;
    Sid users(WinBuiltinUsersSid);
    union {
        ACL acl;
        char bytes[512];
    } list{};
    const BYTE inherited = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    ASSERT_TRUE(InitializeAcl(&list.acl, sizeof list, ACL_REVISION) &&
                AddAccessAllowedAceEx(&list.acl, ACL_REVISION, inherited, FILE_ALL_ACCESS, user.get()) &&
                AddAccessAllowedAceEx(&list.acl, ACL_REVISION, inherited,
                                      FILE_GENERIC_READ | FILE_GENERIC_WRITE | DELETE, users.get()));
    std::wstring folderName = native(root.path());
    ASSERT_EQ(SetNamedSecurityInfoW(folderName.data(), SE_FILE_OBJECT,
                                    DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                    &list.acl, nullptr),
              DWORD(ERROR_SUCCESS));
    QFile usual(root.filePath("usual.log"));
    ASSERT_TRUE(usual.open(QIODevice::WriteOnly));
    usual.close();
    const auto folder = HeldFolder::hold(root.path() + "/");
    ASSERT_NE(folder, nullptr);
    const PlainFile anybodys = folder->open("usual.log", false);
    ASSERT_NE(anybodys, nullptr);
    if (ownedByUser(anybodys.get()))
        GTEST_SKIP() << "the folder hands no access down here (Wine)";
    for (const NewFileAccess access : {NewFileAccess::OwnerOnly, NewFileAccess::Readable, NewFileAccess::Private}) {
        QString name;
        const PlainFile made = folder->createUnique("own~", ".txt", name, access);
        ASSERT_NE(made, nullptr);
        EXPECT_TRUE(ownedByUser(made.get())) << int(access);
        const PlainFile reopened = folder->open(name, false);
        ASSERT_NE(reopened, nullptr);
        EXPECT_TRUE(ownedByUser(reopened.get())) << int(access);
    }
}

struct TrustedHoldRow {
    const char *what;
    const char *held; // below the temporary folder
    FolderAccess access;
};

void PrintTo(const TrustedHoldRow &row, std::ostream *out)
{
    *out << row.what;
}

namespace {

// Makes `link`, a new empty folder, a junction to the folder `target`; false where the system
// makes none that leads there (Wine).
bool makeJunction(const QString &target, const QString &link)
{
    if (!CreateDirectoryW(native(link).c_str(), nullptr))
        return false;
    const HANDLE handle = CreateFileW(native(link).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    // The mount-point form of the reparse data: the target as the system and as a person read it.
    const std::wstring substitute = L"\\??\\" + native(QDir::cleanPath(target));
    const std::wstring print = native(QDir::cleanPath(target));
    const WORD substituteBytes = WORD(substitute.size() * sizeof(wchar_t));
    const WORD printBytes = WORD(print.size() * sizeof(wchar_t));
    std::vector<char> buffer(8 + 8 + substituteBytes + printBytes + 2 * sizeof(wchar_t));
    const auto put = [&](size_t at, WORD value) { std::memcpy(buffer.data() + at, &value, sizeof value); };
    const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
    std::memcpy(buffer.data(), &tag, sizeof tag);
    put(4, WORD(buffer.size() - 8));
    put(8, 0);
    put(10, substituteBytes);
    put(12, WORD(substituteBytes + sizeof(wchar_t)));
    put(14, printBytes);
    std::memcpy(buffer.data() + 16, substitute.c_str(), substituteBytes);
    std::memcpy(buffer.data() + 16 + substituteBytes + sizeof(wchar_t), print.c_str(), printBytes);
    DWORD returned = 0;
    const bool made = DeviceIoControl(handle, FSCTL_SET_REPARSE_POINT, buffer.data(), DWORD(buffer.size()), nullptr, 0,
                                      &returned, nullptr);
    CloseHandle(handle);
    const DWORD attributes = GetFileAttributesW(native(link).c_str());
    return made && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
           QFile::exists(link + "/mark");
}

class TrustedHold : public testing::TestWithParam<TrustedHoldRow> {};

} // namespace

// Below the temporary folder: real/zel/ (a real log folder), elsewhere/zel/, a junction "link"
// to elsewhere/zel, and a junction "via" to elsewhere, so that via/zel/ is a folder reached
// through a junction on the way; "file" is a regular file.
TEST_P(TrustedHold, logFolderIsHeldOnlyWhereNoJunctionLiesOnItsWay)
{
    QTemporaryDir temporary;
    // By its long name, as the system gives the path of an open folder back.
    const QDir root(QDir(temporary.path()).canonicalPath());
    ASSERT_TRUE(root.mkpath("real/zel") && root.mkpath("elsewhere/zel"));
    for (const char *mark : {"elsewhere/mark", "elsewhere/zel/mark"}) {
        QFile file(root.filePath(mark));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    QFile file(root.filePath("file"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const QString held = root.filePath(GetParam().held) + "/";
    const bool throughJunction = QString(GetParam().held).startsWith("link") || QString(GetParam().held).startsWith("via");
    if (throughJunction && !(makeJunction(root.filePath("elsewhere/zel"), root.filePath("link")) &&
                             makeJunction(root.filePath("elsewhere"), root.filePath("via"))))
        GTEST_SKIP() << "junctions cannot be made here (Wine makes none)";

    FolderAccess access = FolderAccess::Held;
    const auto folder = HeldFolder::holdTrusted(held, access);
    EXPECT_EQ(int(access), int(GetParam().access));
    EXPECT_EQ(folder != nullptr, GetParam().access == FolderAccess::Held);
}

INSTANTIATE_TEST_SUITE_P(Paths, TrustedHold,
                         testing::Values(TrustedHoldRow{"a real folder", "real/zel", FolderAccess::Held},
                                         TrustedHoldRow{"its name in other letter case", "REAL/Zel", FolderAccess::Held},
                                         TrustedHoldRow{"a missing folder", "real/none", FolderAccess::Missing},
                                         TrustedHoldRow{"below a missing folder", "none/zel", FolderAccess::Missing},
                                         TrustedHoldRow{"a file", "file", FolderAccess::NotFolder},
                                         TrustedHoldRow{"below a file", "file/zel", FolderAccess::NotFolder},
                                         TrustedHoldRow{"a junction", "link", FolderAccess::Link},
                                         TrustedHoldRow{"below a junction", "via/zel", FolderAccess::BelowLink}));
