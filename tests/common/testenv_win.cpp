#include "testenv.h"

#include "logfolder.h"

#include <QFile>
#include <QFileInfo>

#include <aclapi.h>
#include <windows.h>

namespace {
// Beside the log folder, not in it, so that no listing of the folder sees it.
QString ownerMark(const QString &logPath)
{
    return QDir::cleanPath(logPath) + QStringLiteral(".test-run");
}
} // namespace

QString useTestLogFolder(const QString &)
{
    const QString folder = findLogFolder();
    const QString mark = ownerMark(folder);
    // The folder is ours when the mark says so, or when it is missing or empty. A test that went
    // on without it would write wherever the empty path leads, so the test program stops.
    const QDir::Filters all = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System;
    if (!QFileInfo::exists(mark) && !QDir(folder).isEmpty(all))
        qFatal("%s holds data that is not a test run's: the tests need a machine (or Wine prefix) where the "
               "components' log folder is unused", qPrintable(folder));
    QFile marker(mark);
    if (!marker.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(mark));
    makeRemovable(folder);
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    return folder;
}

void releaseTestLogFolder(const QString &logPath)
{
    makeRemovable(logPath);
    QDir(logPath).removeRecursively();
}

QFileDevice::Permissions permittedToAll()
{
    return QFileDevice::Permissions(0x6666);
}

bool openToOwnerAlone(const QString &path)
{
    // Whoever the access list names besides the user: none but the system itself, which reads
    // every file anyway. (Wine reports the file's Unix mode as such a list.)
    PACL list = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(reinterpret_cast<const wchar_t *>(path.utf16()), SE_FILE_OBJECT,
                              DACL_SECURITY_INFORMATION, nullptr, nullptr, &list, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    HANDLE token = nullptr;
    union {
        TOKEN_USER user;
        char bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } self{};
    DWORD length = 0;
    char systemSid[SECURITY_MAX_SID_SIZE];
    DWORD systemLength = sizeof systemSid;
    bool alone = list && list->AceCount > 0 && OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) &&
                 GetTokenInformation(token, TokenUser, &self, sizeof self, &length) &&
                 CreateWellKnownSid(WinLocalSystemSid, nullptr, systemSid, &systemLength);
    for (DWORD i = 0; alone && i < list->AceCount; ++i) {
        void *entry = nullptr;
        alone = GetAce(list, i, &entry);
        auto *ace = static_cast<ACCESS_ALLOWED_ACE *>(entry);
        alone = alone && (ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE || EqualSid(&ace->SidStart, self.user.User.Sid) ||
                          EqualSid(&ace->SidStart, systemSid));
    }
    if (token)
        CloseHandle(token);
    LocalFree(descriptor);
    return alone;
}

bool folderModesBind()
{
    return false;
}
