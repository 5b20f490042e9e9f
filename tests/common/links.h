#pragma once
// Links and pipes in the file system for the tests of a hostile log folder, where the platform
// (or Wine) can make them. Tests skip what their platform cannot make.

#include <QString>

#include <gtest/gtest.h>

// A symbolic link `link` to `target`, which need not exist. (QFile::link makes a shell
// shortcut on Windows, a plain file.)
bool makeSymLink(const QString &target, const QString &link);

// Whether a failed makeSymLink means only that this machine cannot make symbolic links: on
// Windows that needs a privilege, and Wine makes none.
bool symLinksOptional();

// Makes a symbolic link, or ends the test: skipped where symbolic links are optional, failed
// elsewhere.
#define MAKE_SYMLINK_OR_SKIP(target, link)                                                          \
    do {                                                                                         \
        if (!makeSymLink(target, link)) {                                                        \
            if (symLinksOptional())                                                              \
                GTEST_SKIP() << "symbolic links cannot be made here";                            \
            FAIL() << "cannot make the symbolic link " << QString(link).toStdString();           \
        }                                                                                        \
    } while (false)

// A second name `link` for the existing file `target`.
bool makeHardLink(const QString &target, const QString &link);

// A named pipe at `path`, held open by a writer that never writes, so that a reader of it
// would wait for ever. Returns the writer's descriptor, or -1 where there are no named pipes in
// the file system (Windows).
int makeIdlePipe(const QString &path);
void closeIdlePipe(int writer);
