#include "platform.h"

#include <QFileInfo>

#include <cstdio>
#include <io.h>
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

} // namespace

bool RegularFile::hasOneName() const
{
    BY_HANDLE_FILE_INFORMATION info;
    return identify(file, info) && info.nNumberOfLinks == 1;
}

bool RegularFile::replaceWith(const QByteArray &bytes)
{
    QString replacementName;
    PlainFile temporary = folder->createUnique(QStringLiteral("~"), QLatin1Char('~') + name, replacementName);
    if (!temporary)
        return false;
    const bool written = writeAll(handleOf(temporary), 0, bytes);
    temporary.reset();
    BY_HANDLE_FILE_INFORMATION before;
    if (!written || !identify(file, before)) {
        folder->remove(replacementName);
        return false;
    }
    // ReplaceFileW, unlike a rename, keeps the replaced file's attributes and access rights; it
    // needs the file closed. Should it have taken the old file away but not put the new one in
    // its place, the new one goes there by a plain rename: it is the only copy left.
    file.reset();
    const std::wstring replacement = nativePath(folder->path() + replacementName);
    if (ReplaceFileW(nativePath(path).c_str(), replacement.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                     nullptr))
        return true;
    if (GetLastError() == ERROR_UNABLE_TO_MOVE_REPLACEMENT)
        return MoveFileExW(replacement.c_str(), nativePath(path).c_str(), 0) != 0;
    folder->remove(replacementName);
    // Opened again for a write in place; only the same file, never what took its name.
    file = folder->open(name, true);
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
