#include "plainfile.h"

#include "platform.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <aclapi.h>
#include <windows.h>

std::wstring nativePath(const QString &path)
{
    return QDir::toNativeSeparators(QDir::cleanPath(path)).toStdWString();
}

namespace {

constexpr DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE handleOf(std::FILE *file)
{
    return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
}

// A symbolic link or a junction is a reparse point; opened as itself, it is not followed. A file
// with more names than one (a hard link) may be anybody's, so it counts only with `anyNames`.
bool isPlainFileHandle(HANDLE handle, bool anyNames)
{
    BY_HANDLE_FILE_INFORMATION info{};
    return GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info) &&
           !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) &&
           (anyNames || info.nNumberOfLinks == 1);
}

// The stream of an open handle; closes the handle when that fails.
PlainFile streamOf(HANDLE handle, bool writable)
{
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), writable ? 0 : _O_RDONLY);
    if (fd < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    std::FILE *file = _fdopen(fd, writable ? "r+b" : "rb");
    if (!file)
        _close(fd);
    return PlainFile(file);
}

// Opens a regular file as itself, never through a reparse point, letting others `share` it.
PlainFile openRegular(const QString &path, bool writable, bool anyNames, DWORD share)
{
    const DWORD access = writable ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
    const HANDLE handle = CreateFileW(nativePath(path).c_str(), access, share, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    if (!isPlainFileHandle(handle, anyNames)) {
        CloseHandle(handle);
        return nullptr;
    }
    return streamOf(handle, writable);
}

// Puts the regular file `source` in the place of `target` in one step, when that is
// replaceable; both lie in the same folder.
bool replaceFile(const QString &source, const QString &target)
{
    if (!replaceable(entryKind(target)) || !isPlainFile(source))
        return false;
    // Replaces a symbolic link at `target` itself; a folder or junction there makes it fail.
    const std::wstring from = nativePath(source);
    const std::wstring to = nativePath(target);
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING))
        return true;
    // A read-only file is not replaced on Windows, but may be on POSIX, where only the folder's
    // permissions count; a read-only backup from an earlier clearing is replaced here as there.
    const DWORD attributes = GetFileAttributesW(to.c_str());
    const DWORD special = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY) || (attributes & special))
        return false;
    return SetFileAttributesW(to.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY)) &&
           MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING);
}

} // namespace

EntryKind entryKind(const QString &path)
{
    const DWORD attributes = GetFileAttributesW(nativePath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return EntryKind::Missing;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return EntryKind::Link;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return EntryKind::PlainFolder;
    if (attributes & FILE_ATTRIBUTE_DEVICE)
        return EntryKind::Other;
    // The number of names needs the file opened, for its attributes only.
    const HANDLE handle = CreateFileW(nativePath(path).c_str(), FILE_READ_ATTRIBUTES, shareAll, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = handle != INVALID_HANDLE_VALUE && GetFileInformationByHandle(handle, &info);
    if (handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    return known && info.nNumberOfLinks > 1 ? EntryKind::Link : EntryKind::PlainFile;
}

PlainFile openPlainFile(const QString &path, bool writable)
{
    return openRegular(path, writable, false, shareAll);
}

bool setPermissions(std::FILE *file, QFileDevice::Permissions permissions)
{
    // The open handle may lack the right to change attributes; a second handle to the same
    // file, not to whatever now has its name, gets it.
    const HANDLE handle = ReOpenFile(handleOf(file), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, shareAll, 0);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const bool readOnly = !(permissions & (QFileDevice::WriteOwner | QFileDevice::WriteUser |
                                           QFileDevice::WriteGroup | QFileDevice::WriteOther));
    FILE_BASIC_INFO info{};
    bool done = GetFileInformationByHandleEx(handle, FileBasicInfo, &info, sizeof info);
    const DWORD attributes = readOnly ? info.FileAttributes | FILE_ATTRIBUTE_READONLY
                                      : info.FileAttributes & ~DWORD(FILE_ATTRIBUTE_READONLY);
    if (done && attributes != info.FileAttributes) {
        info.FileAttributes = attributes;
        done = SetFileInformationByHandle(handle, FileBasicInfo, &info, sizeof info);
    }
    CloseHandle(handle);
    return done;
}

FileFault lastFault()
{
    switch (GetLastError()) {
    case ERROR_SUCCESS:
        return FileFault::None;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_PRIVILEGE_NOT_HELD:
        return FileFault::Denied;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return FileFault::NoSpace;
    case ERROR_TOO_MANY_OPEN_FILES:
        return FileFault::TooMany;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
    case ERROR_DIRECTORY:
    case ERROR_CANT_ACCESS_FILE:
        return FileFault::NotPlain;
    default:
        return FileFault::Failed;
    }
}

std::optional<FileIdentity> identityOf(std::FILE *file)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handleOf(file), &info))
        return std::nullopt;
    return FileIdentity{info.dwVolumeSerialNumber, quint64(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
}

qint64 currentSize(std::FILE *file)
{
    LARGE_INTEGER size{};
    return GetFileSizeEx(handleOf(file), &size) ? qint64(size.QuadPart) : -1;
}

bool emptyPlainFile(std::FILE *file, qint64 size)
{
    LARGE_INTEGER now{};
    FILE_END_OF_FILE_INFO end{};
    return GetFileSizeEx(handleOf(file), &now) && now.QuadPart == size &&
           SetFileInformationByHandle(handleOf(file), FileEndOfFileInfo, &end, sizeof end);
}

namespace {

// The running user's security identifier, held in a buffer of its own.
struct UserSid {
    union {
        TOKEN_USER user;
        char bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } buffer{};
    bool found = false;

    UserSid()
    {
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
            return;
        DWORD length = 0;
        found = GetTokenInformation(token, TokenUser, &buffer, sizeof buffer, &length);
        CloseHandle(token);
    }
    PSID sid() const { return found ? buffer.user.User.Sid : nullptr; }
};

// A group or account that every Windows has, such as SYSTEM or the Administrators.
struct WellKnownSid {
    union {
        SID sid;
        char bytes[SECURITY_MAX_SID_SIZE];
    } buffer{};
    bool found = false;

    explicit WellKnownSid(WELL_KNOWN_SID_TYPE type)
    {
        DWORD size = sizeof buffer;
        found = CreateWellKnownSid(type, nullptr, &buffer, &size);
    }
    PSID sid() { return found ? &buffer.sid : nullptr; }
};

// The accounts besides the user that may change the user's own files: they may anyway.
struct TrustedSids {
    UserSid user;
    WellKnownSid system{WinLocalSystemSid};
    WellKnownSid administrators{WinBuiltinAdministratorsSid};

    bool ready() { return user.sid() && system.sid() && administrators.sid(); }
    bool trusted(PSID sid) { return EqualSid(sid, user.sid()) || EqualSid(sid, system.sid()) || EqualSid(sid, administrators.sid()); }
};

// Every right that changes a file, its attributes, its rights or its name.
constexpr ACCESS_MASK writeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES | DELETE |
                                    WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

// The rights of a new file, none of them handed down from the folder, so that the file counts as
// the user's own (see ownedByUser): the user alone for Private files; else the user, SYSTEM and
// the Administrators, and the Users may read.
struct NewRights {
    TrustedSids owners;
    WellKnownSid users{WinBuiltinUsersSid};
    union {
        ACL acl;
        char bytes[sizeof(ACL) + 4 * (sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE)];
    } list{};
    SECURITY_DESCRIPTOR descriptor{};
    SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), &descriptor, FALSE};
    bool ready = false;

    explicit NewRights(NewFileAccess access)
    {
        if (access == NewFileAccess::Shared) {
            ready = true; // the folder's rights, handed down
            return;
        }
        const bool shared = access != NewFileAccess::Private;
        ready = owners.ready() && users.sid() && InitializeAcl(&list.acl, sizeof list, ACL_REVISION) &&
                AddAccessAllowedAce(&list.acl, ACL_REVISION, FILE_ALL_ACCESS, owners.user.sid()) &&
                (!shared || (AddAccessAllowedAce(&list.acl, ACL_REVISION, FILE_ALL_ACCESS, owners.system.sid()) &&
                             AddAccessAllowedAce(&list.acl, ACL_REVISION, FILE_ALL_ACCESS, owners.administrators.sid()) &&
                             AddAccessAllowedAce(&list.acl, ACL_REVISION, FILE_GENERIC_READ, users.sid()))) &&
                InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
                SetSecurityDescriptorDacl(&descriptor, TRUE, &list.acl, FALSE) &&
                SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
    }
};

// Whether no one but the user, SYSTEM and the Administrators may change a file with this
// access list. A missing list lets everyone do everything.
bool onlyTrustedMayWrite(const ACL *list)
{
    TrustedSids sids;
    if (!list || !sids.ready())
        return false;
    for (DWORD i = 0; i < list->AceCount; ++i) {
        void *entry = nullptr;
        if (!GetAce(const_cast<ACL *>(list), i, &entry))
            return false;
        const auto *header = static_cast<const ACE_HEADER *>(entry);
        if (header->AceFlags & INHERIT_ONLY_ACE)
            continue; // only for what is made in a folder
        // Denials only take rights away. Every entry holds its rights after its header, but only
        // these two kinds hold the account right after them; an entry of another kind that
        // grants a write counts as a grant to anyone.
        const bool allowed = header->AceType == ACCESS_ALLOWED_ACE_TYPE || header->AceType == ACCESS_ALLOWED_CALLBACK_ACE_TYPE;
        const bool denied = header->AceType == ACCESS_DENIED_ACE_TYPE || header->AceType == ACCESS_DENIED_CALLBACK_ACE_TYPE ||
                            header->AceType == ACCESS_DENIED_OBJECT_ACE_TYPE ||
                            header->AceType == ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE;
        const auto *grant = static_cast<const ACCESS_ALLOWED_ACE *>(entry);
        if (denied || !(grant->Mask & writeRights))
            continue;
        if (!allowed || !sids.trusted(const_cast<DWORD *>(&grant->SidStart)))
            return false;
    }
    return true;
}

} // namespace

bool narrowReaders(std::FILE *, std::FILE *)
{
    return true;
}

bool ownedByUser(std::FILE *file)
{
    PSID owner = nullptr;
    PACL list = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(handleOf(file), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                        nullptr, &list, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    const UserSid user;
    const bool own = user.sid() && owner && EqualSid(owner, user.sid()) && onlyTrustedMayWrite(list);
    LocalFree(descriptor);
    return own;
}

bool syncFile(std::FILE *file)
{
    return FlushFileBuffers(handleOf(file)) != 0;
}

QByteArray fileNameBytes(const QString &name)
{
    return name.toUtf8();
}

QStringList folderNames(const QString &folder)
{
    // Windows names are UTF-16, which QString holds as they are.
    return QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
}

void failWritesPastSizeLimit()
{
    // Windows has no file-size limit that ends a program.
}

std::shared_ptr<const HeldFolder> HeldFolder::hold(const QString &path)
{
    // Opened as itself (a junction or link is not followed) and shared for everything but
    // deletion, so the folder cannot be renamed or deleted while it is held. Sharing binds only
    // handles with data access, hence the right to list the folder.
    const HANDLE handle = CreateFileW(nativePath(path).c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        CloseHandle(handle);
        return nullptr;
    }
    return std::shared_ptr<const HeldFolder>(new HeldFolder(path, reinterpret_cast<intptr_t>(handle)));
}

namespace {

// The path that an open handle leads to now, with every junction and link on the way resolved,
// in the form nativePath gives; empty when the system cannot tell.
QString finalPath(HANDLE handle)
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetFinalPathNameByHandleW(handle, path.data(), DWORD(path.size()),
                                                       FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0)
            return QString();
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(length);
    }
    const QString whole = QString::fromStdWString(path);
    if (whole.startsWith(QLatin1String("\\\\?\\UNC\\")))
        return QLatin1String("\\\\") + whole.mid(8);
    return whole.startsWith(QLatin1String("\\\\?\\")) ? whole.mid(4) : whole;
}

} // namespace

std::shared_ptr<const HeldFolder> HeldFolder::holdTrusted(const QString &path, FolderAccess &access)
{
    // Every folder on the way is looked at itself: a junction or link anywhere could be swapped
    // or pointed elsewhere by whoever may change it, or the folder that holds it.
    const QString clean = QDir::cleanPath(path);
    const QStringList parts = clean.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString walked;
    int first = 0;
    if (clean.startsWith(QLatin1String("//"))) { // the server and share
        walked = QLatin1String("//") + parts.value(0) + QLatin1Char('/') + parts.value(1) + QLatin1Char('/');
        first = 2;
    } else if (!parts.isEmpty() && parts.at(0).endsWith(QLatin1Char(':'))) { // the drive
        walked = parts.at(0) + QLatin1Char('/');
        first = 1;
    }
    for (int i = first; i < parts.size(); ++i) {
        walked += parts.at(i) + QLatin1Char('/');
        const DWORD attributes = GetFileAttributesW(nativePath(walked).c_str());
        const bool last = i + 1 == parts.size();
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            const DWORD error = GetLastError();
            access = error == ERROR_ACCESS_DENIED ? FolderAccess::Denied : FolderAccess::Missing;
            return nullptr;
        }
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            access = last ? FolderAccess::Link : FolderAccess::BelowLink;
            return nullptr;
        }
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            access = FolderAccess::NotFolder;
            return nullptr;
        }
    }
    auto held = hold(path);
    if (!held) {
        const EntryKind now = entryKind(path);
        access = now == EntryKind::Link ? FolderAccess::Link
                 : now == EntryKind::Missing ? FolderAccess::Missing
                 : now == EntryKind::PlainFolder ? FolderAccess::Denied
                                                 : FolderAccess::NotFolder;
        return nullptr;
    }
    // A folder on the way may have been swapped for a junction since it was looked at: the held
    // folder counts only where its path leads to it without one. From now on the path stays:
    // the held folder cannot be renamed or deleted, nor can a folder above it while it is open.
    if (QString::compare(finalPath(reinterpret_cast<HANDLE>(held->handle)), QString::fromStdWString(nativePath(path)),
                         Qt::CaseInsensitive) != 0) {
        access = FolderAccess::BelowLink;
        return nullptr;
    }
    access = FolderAccess::Held;
    return held;
}

HeldFolder::~HeldFolder()
{
    CloseHandle(reinterpret_cast<HANDLE>(handle));
}

// While the folder is held its path leads to it, so the calls below go by path.

PlainFile HeldFolder::open(const QString &name, bool writable) const
{
    return openPlainFile(folder + name, writable);
}

PlainFile HeldFolder::createNew(const QString &name, NewFileAccess access, bool &taken) const
{
    NewRights rights(access);
    taken = false;
    if (!rights.ready)
        return nullptr;
    // CREATE_NEW opens nothing that already bears the name, link or not. The handle, open for
    // writing, marks the file as in use (see claimLeftover). It lets others read and delete,
    // so that the file can be renamed while it is open, but nobody else may write it; nor may
    // they later, whatever rights the folder hands down.
    const HANDLE handle = CreateFileW(nativePath(folder + name).c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_DELETE,
                                      access == NewFileAccess::Shared ? nullptr : &rights.attributes, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    taken = handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS;
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    PlainFile file = streamOf(handle, true);
    if (!file)
        DeleteFileW(nativePath(folder + name).c_str());
    return file;
}

PlainFile HeldFolder::claimLeftover(const QString &name) const
{
    // Shared for reading and deleting only: while its maker holds it open for writing, this
    // open fails, and while this one is open, nobody can take it up for writing.
    return openRegular(folder + name, false, false, FILE_SHARE_READ | FILE_SHARE_DELETE);
}

bool HeldFolder::replace(const QString &name, const QString &target) const
{
    return replaceFile(folder + name, folder + target);
}

bool HeldFolder::moveTo(const QString &name, const HeldFolder &to, const QString &target) const
{
    return replaceFile(folder + name, to.folder + target);
}

EntryKind HeldFolder::kind(const QString &name) const
{
    return entryKind(folder + name);
}

std::shared_ptr<const HeldFolder> HeldFolder::holdFolder(const QString &name) const
{
    return hold(folder + name + QLatin1Char('/'));
}

bool HeldFolder::makeFolder(const QString &name) const
{
    if (kind(name) == EntryKind::Missing)
        CreateDirectoryW(nativePath(folder + name).c_str(), nullptr);
    return kind(name) == EntryKind::PlainFolder;
}

bool HeldFolder::holds(const QString &name, std::FILE *file) const
{
    const HANDLE named = CreateFileW(nativePath(folder + name).c_str(), FILE_READ_ATTRIBUTES, shareAll, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (named == INVALID_HANDLE_VALUE)
        return false;
    // The open file was made or opened in this folder and cannot have left its volume, so the
    // named entry is checked against the folder's volume. (Wine reports no volume at all for a
    // handle whose file was renamed.)
    BY_HANDLE_FILE_INFORMATION a{};
    BY_HANDLE_FILE_INFORMATION b{};
    BY_HANDLE_FILE_INFORMATION self{};
    const bool same = GetFileInformationByHandle(named, &a) && GetFileInformationByHandle(handleOf(file), &b) &&
                      GetFileInformationByHandle(reinterpret_cast<HANDLE>(handle), &self) &&
                      a.dwVolumeSerialNumber == self.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
                      a.nFileIndexLow == b.nFileIndexLow;
    CloseHandle(named);
    return same;
}

quint64 HeldFolder::size(const QString &name) const
{
    return isPlainFile(folder + name) ? quint64(QFileInfo(folder + name).size()) : 0;
}

bool HeldFolder::remove(const QString &name) const
{
    return removePlainFile(folder + name);
}

QStringList HeldFolder::names() const
{
    return folderNames(folder);
}
