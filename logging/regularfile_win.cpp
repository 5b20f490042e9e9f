#include "regularfile.h"

#include <algorithm>
#include <random>

#include <windows.h>

namespace {

std::wstring wide(const std::string &utf8)
{
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring text(std::size_t(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), text.data(), length);
    return text;
}

HANDLE asHandle(std::intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

// Opens the file itself, never what a symbolic link or junction of that name points to.
HANDLE openItself(const std::wstring &path)
{
    return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

bool describe(HANDLE file, BY_HANDLE_FILE_INFORMATION &info)
{
    return GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info) &&
           !(info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY));
}

bool sameFile(const BY_HANDLE_FILE_INFORMATION &a, const BY_HANDLE_FILE_INFORMATION &b)
{
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

bool readAll(HANDLE file, std::size_t size, std::string &bytes)
{
    bytes.resize(size);
    std::size_t done = 0;
    while (done < size) {
        DWORD n = 0;
        if (!ReadFile(file, bytes.data() + done, DWORD(size - done), &n, nullptr) || n == 0)
            return false;
        done += n;
    }
    return true;
}

bool writeAll(HANDLE file, std::uint64_t offset, const std::string &bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        OVERLAPPED at{};
        at.Offset = DWORD(offset + done);
        at.OffsetHigh = DWORD((offset + done) >> 32);
        DWORD n = 0;
        const DWORD chunk = DWORD(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        if (!WriteFile(file, bytes.data() + done, chunk, &n, &at) || n == 0)
            return false;
        done += n;
    }
    return FlushFileBuffers(file) != 0;
}

// Writes a new file beside `path` and returns its name, or an empty name.
std::wstring writeTemporary(const std::wstring &path, const std::string &bytes)
{
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::wstring name = path + L"." + std::to_wstring(random()) + L".tmp";
        // CREATE_NEW opens nothing that already bears the name, link or not.
        HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_EXISTS)
                continue;
            return {};
        }
        const bool written = writeAll(file, 0, bytes);
        CloseHandle(file);
        if (written)
            return name;
        DeleteFileW(name.c_str());
        return {};
    }
    return {};
}

} // namespace

RegularFile::RegularFile(const std::string &path, std::size_t maxSize)
    : path(path), handle(reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE))
{
    HANDLE file = openItself(wide(path));
    handle = reinterpret_cast<std::intptr_t>(file);
    BY_HANDLE_FILE_INFORMATION info;
    std::string bytes;
    if (file == INVALID_HANDLE_VALUE || !describe(file, info) || info.nFileSizeHigh != 0 || info.nFileSizeLow > maxSize ||
        !readAll(file, info.nFileSizeLow, bytes))
        return;
    old = std::move(bytes);
}

RegularFile::~RegularFile()
{
    if (asHandle(handle) != INVALID_HANDLE_VALUE)
        CloseHandle(asHandle(handle));
}

bool RegularFile::hasOneName() const
{
    BY_HANDLE_FILE_INFORMATION info;
    return GetFileInformationByHandle(asHandle(handle), &info) && info.nNumberOfLinks == 1;
}

bool RegularFile::replaceWith(const std::string &bytes)
{
    const std::wstring target = wide(path);
    const std::wstring temp = writeTemporary(target, bytes);
    if (temp.empty())
        return false;
    BY_HANDLE_FILE_INFORMATION before;
    GetFileInformationByHandle(asHandle(handle), &before);
    // ReplaceFileW keeps the replaced file's attributes and access rights; it needs the file
    // closed. Without a backup name, a failure leaves the file under its name as it was.
    CloseHandle(asHandle(handle));
    const bool replaced = ReplaceFileW(target.c_str(), temp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                                       nullptr, nullptr) != 0;
    if (!replaced)
        DeleteFileW(temp.c_str());
    // Held open again for a write in place; only the same file, never what took its name.
    HANDLE file = openItself(target);
    BY_HANDLE_FILE_INFORMATION after;
    if (file != INVALID_HANDLE_VALUE && !replaced && !(describe(file, after) && sameFile(before, after))) {
        CloseHandle(file);
        file = INVALID_HANDLE_VALUE;
    }
    handle = reinterpret_cast<std::intptr_t>(file);
    return replaced;
}

bool RegularFile::writeAt(std::uint64_t offset, const std::string &bytes)
{
    return writeAll(asHandle(handle), offset, bytes);
}

bool RegularFile::resize(std::uint64_t size)
{
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = LONGLONG(size);
    return SetFileInformationByHandle(asHandle(handle), FileEndOfFileInfo, &end, sizeof end) &&
           FlushFileBuffers(asHandle(handle));
}
