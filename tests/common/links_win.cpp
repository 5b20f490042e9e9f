#include "links.h"

#include <QDir>

#include <windows.h>

namespace {
std::wstring native(const QString &path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}
} // namespace

// Wine reports success but makes nothing a program could open, so the link is looked at.
bool makeSymLink(const QString &target, const QString &link)
{
    if (!CreateSymbolicLinkW(native(link).c_str(), native(target).c_str(), SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE))
        return false;
    const DWORD attributes = GetFileAttributesW(native(link).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool symLinksOptional()
{
    return true;
}

bool makeHardLink(const QString &target, const QString &link)
{
    return CreateHardLinkW(native(link).c_str(), native(target).c_str(), nullptr);
}

int makeIdlePipe(const QString &)
{
    return -1;
}

void closeIdlePipe(int)
{
}
