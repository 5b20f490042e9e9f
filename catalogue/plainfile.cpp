#include "plainfile.h"

#include <QFile>
#include <QRandomGenerator>

// Declared in the platform files: the one-step rename that replaces `target`.
bool renameOver(const QString &source, const QString &target);

bool replaceFile(const QString &source, const QString &target)
{
    return replaceable(entryKind(target)) && isPlainFile(source) && renameOver(source, target);
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

PlainFile HeldFolder::create(const QString &prefix, QString &name) const
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = prefix;
        for (int i = 0; i < 6; ++i)
            name += QLatin1Char(letters[QRandomGenerator::global()->bounded(int(sizeof letters) - 1)]);
        bool taken = false;
        PlainFile file = createNew(name, taken);
        if (file || !taken)
            return file;
    }
    return nullptr;
}
