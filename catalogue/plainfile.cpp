#include "plainfile.h"

#include <QFile>

// Declared in the platform files: the one-step rename that replaces `target`.
bool renameOver(const QString &source, const QString &target);

bool replaceFile(const QString &source, const QString &target)
{
    const EntryKind kind = entryKind(target);
    const bool replaceable = kind == EntryKind::Missing || kind == EntryKind::PlainFile || kind == EntryKind::Link;
    return replaceable && isPlainFile(source) && renameOver(source, target);
}

bool removePlainFile(const QString &path)
{
    return isPlainFile(path) && QFile::remove(path);
}

bool emptyPlainFile(std::FILE *file)
{
    // QFile works on the open handle itself, so the file truncated is the one that was opened.
    QFile handle;
    return handle.open(file, QIODevice::ReadWrite, QFileDevice::DontCloseHandle) && handle.resize(0);
}
