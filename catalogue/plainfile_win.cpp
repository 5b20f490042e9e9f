#include "plainfile.h"
#include "nativepath_win.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

std::wstring nativePath(const QString &path)
{
    return QDir::toNativeSeparators(QDir::cleanPath(path)).toStdWString();
}

namespace {

// A symbolic link or a junction is a reparse point; opened as itself, it is not followed.
bool isPlainFileHandle(HANDLE handle)
{
    BY_HANDLE_FILE_INFORMATION info{};
    return GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info) &&
           !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE));
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
    return attributes & FILE_ATTRIBUTE_DEVICE ? EntryKind::Other : EntryKind::PlainFile;
}

PlainFile openPlainFile(const QString &path, bool writable)
{
    const DWORD access = writable ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
    const HANDLE handle = CreateFileW(nativePath(path).c_str(), access,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    if (!isPlainFileHandle(handle)) {
        CloseHandle(handle);
        return nullptr;
    }
    return streamOf(handle, writable);
}

bool setPermissions(std::FILE *file, QFileDevice::Permissions permissions)
{
    // The open handle may lack the right to change attributes; a second handle to the same
    // file, not to whatever now has its name, gets it.
    const HANDLE opened = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    const HANDLE handle = ReOpenFile(opened, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0);
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

bool renameOver(const QString &source, const QString &target)
{
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

HeldFolder::~HeldFolder()
{
    CloseHandle(reinterpret_cast<HANDLE>(handle));
}

// While the folder is held its path leads to it, so the calls below go by path.

PlainFile HeldFolder::open(const QString &name, bool writable) const
{
    return openPlainFile(folder + name, writable);
}

PlainFile HeldFolder::createNew(const QString &name, bool &taken) const
{
    // CREATE_NEW opens nothing that already bears the name, link or not.
    const HANDLE handle = CreateFileW(nativePath(folder + name).c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    taken = handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS;
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    PlainFile file = streamOf(handle, true);
    if (!file)
        DeleteFileW(nativePath(folder + name).c_str());
    return file;
}

bool HeldFolder::replace(const QString &name, const QString &target) const
{
    return replaceFile(folder + name, folder + target);
}

bool HeldFolder::moveIn(const QString &source, const QString &target) const
{
    return replaceFile(source, folder + target);
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
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Unsorted);
}
