#pragma once
// Rewriting one file of the shared log folder, where anyone may leave links, pipes or
// read-only files.

#include "plainfile.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

// How a rewrite ended.
enum class Rewrite {
    Written,   // the file holds the new contents
    Untouched, // the file is byte for byte as it was
    Failed,    // a write in place broke off and could not be undone: the file may have changed
};

// The new contents for the old ones, or nothing to leave the file as it is.
using Rewriter = std::function<std::optional<QByteArray>(const QByteArray &old)>;

// Reads the regular file `name` of the held folder whole and replaces its contents with what
// `rewrite` makes of them. A link, pipe, folder or device of that name is left alone and never
// opened for writing; so is a file with a second name (a hard link, which may lead to anybody's
// file), a file this process may not write, or one larger than `maxSize` bytes.
// The new contents go into a new file in the same folder, which takes the file's place in one
// step with the file's permissions (and on POSIX its owner and group). Where that cannot be done
// (the owner cannot be kept), the file is rewritten in place: its old bytes go first into a
// recovery file of ours beside it, "<file name>~", six letters or digits, ".restore", which
// records the file's name and identity and which restoreInterruptedRewrites puts back should
// the program end during the write; where no recovery file can be made, the file stays
// untouched. Room for the new contents is made behind the old ones before an old byte changes,
// so that a full disk or a file-size limit usually stops the write early; a write that breaks
// off later puts the old bytes back. Once the file holds the new contents, recovery files that
// earlier broken rewrites of it left behind are removed: they must not undo this one.
Rewrite rewriteRegularFile(const std::shared_ptr<const HeldFolder> &folder, const QString &name, qint64 maxSize,
                           const Rewriter &rewrite);

// Puts back the old bytes of every file of the held folder whose rewrite in place was cut short,
// from the recovery files that this user's rewrites left there, and removes those. A recovery
// file is put back only into the very file it was made for (the same name and the same file on
// the disk); recovery files of a rewrite still running, or of other users, stay. Returns the
// names of this user's recovery files that belong to no such file, which are left alone as well.
// Meant for start-up.
QStringList restoreInterruptedRewrites(const std::shared_ptr<const HeldFolder> &folder);
