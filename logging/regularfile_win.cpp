#include "regularfile.h"

#include "nativepath_win.h"

#include <cstdio>
#include <io.h>
#include <random>
#include <windows.h>

namespace {

HANDLE handleOf(const PlainFile &file)
{
    return file ? reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file.get()))) : INVALID_HANDLE_VALUE;
}

bool identify(const PlainFile &file, BY_HANDLE_FILE_INFORMATION &info)
{
    return file && GetFileInformationByHandle(handleOf(file), &info);
}

bool writeAll(HANDLE file, qint64 offset, const QByteArray &bytes)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        OVERLAPPED at{};
        at.Offset = DWORD(offset + done);
        at.OffsetHigh = DWORD((offset + done) >> 32);
        DWORD n = 0;
        if (!WriteFile(file, bytes.constData() + done, DWORD(bytes.size() - done), &n, &at) || n == 0)
            return false;
        done += n;
    }
    return FlushFileBuffers(file) != 0;
}

// Writes a new file of a name no one else uses beside `path` and returns its name, or an
// empty name.
std::wstring writeTemporary(const QString &path, const QByteArray &bytes)
{
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::wstring name = nativePath(path + "." + QString::number(random()) + ".tmp");
        // CREATE_NEW opens nothing that already bears the name, link or not.
        const HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
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

bool RegularFile::hasOneName() const
{
    BY_HANDLE_FILE_INFORMATION info;
    return identify(file, info) && info.nNumberOfLinks == 1;
}

bool RegularFile::replaceWith(const QByteArray &bytes)
{
    BY_HANDLE_FILE_INFORMATION before;
    const std::wstring temporary = writeTemporary(path, bytes);
    if (temporary.empty() || !identify(file, before))
        return false;
    // ReplaceFileW, unlike a rename, keeps the replaced file's attributes and access rights; it
    // needs the file closed. Without a backup name, a failure leaves the file as it was.
    file.reset();
    const std::wstring target = nativePath(path);
    const bool replaced = ReplaceFileW(target.c_str(), temporary.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                                       nullptr, nullptr) != 0;
    if (replaced)
        return true;
    DeleteFileW(temporary.c_str());
    // Opened again for a write in place; only the same file, never what took its name.
    file = openPlainFile(path, true);
    BY_HANDLE_FILE_INFORMATION after;
    if (!identify(file, after) || after.dwVolumeSerialNumber != before.dwVolumeSerialNumber ||
        after.nFileIndexHigh != before.nFileIndexHigh || after.nFileIndexLow != before.nFileIndexLow)
        file.reset();
    return false;
}

bool RegularFile::writeAt(qint64 offset, const QByteArray &bytes)
{
    return file && writeAll(handleOf(file), offset, bytes);
}

bool RegularFile::resize(qint64 size)
{
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = size;
    return file && SetFileInformationByHandle(handleOf(file), FileEndOfFileInfo, &end, sizeof end) &&
           FlushFileBuffers(handleOf(file));
}
