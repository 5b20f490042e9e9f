#include "links.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool makeSymLink(const QString &target, const QString &link)
{
    return symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) == 0;
}

bool symLinksOptional()
{
    return false;
}

bool makeHardLink(const QString &target, const QString &link)
{
    return ::link(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) == 0;
}

int makeIdlePipe(const QString &path)
{
    if (mkfifo(QFile::encodeName(path).constData(), 0600) != 0)
        return -1;
    return open(QFile::encodeName(path).constData(), O_RDWR | O_NONBLOCK);
}

void closeIdlePipe(int writer)
{
    close(writer);
}
