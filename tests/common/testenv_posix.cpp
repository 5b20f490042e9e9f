#include "testenv.h"

#include <QFile>
#include <QFileInfo>

QString useTestLogFolder(const QString &root)
{
    QDir(root).mkpath("shared/zel");
    QDir(root).mkpath("home");
    qputenv("XDG_DATA_HOME", (root + "/home").toUtf8());
    qputenv("XDG_DATA_DIRS", (root + "/shared").toUtf8());
    // The user's runtime folder, which only the user may enter.
    QDir(root).mkpath("runtime");
    QFile::setPermissions(root + "/runtime", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", (root + "/runtime").toUtf8());
    // No site settings of the machine's own; a test puts its own in site/zel/zel.logging.conf.
    qputenv("XDG_CONFIG_DIRS", (root + "/site").toUtf8());
    return root + "/shared/zel/";
}

void releaseTestLogFolder(const QString &)
{
    qputenv("XDG_DATA_HOME", "/nonexistent/zel-test-home");
    qputenv("XDG_DATA_DIRS", "/nonexistent/zel-test-shared");
    qunsetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_CONFIG_DIRS", "/nonexistent/zel-test-site");
}

QFileDevice::Permissions permittedToAll()
{
    return QFileDevice::Permissions(0x7777);
}

bool openToOwnerAlone(const QString &path)
{
    return QFileInfo::exists(path) && (QFile::permissions(path) & (QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                                                    QFileDevice::ReadOther | QFileDevice::WriteOther)) ==
                                          QFileDevice::Permissions();
}

bool folderModesBind()
{
    return true;
}
