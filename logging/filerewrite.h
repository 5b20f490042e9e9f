#pragma once
// Rewriting one file of the shared log folder, where anyone may leave links, pipes or
// read-only files.

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

// How a rewrite ended.
enum class Rewrite {
    Written,   // the file holds the new contents
    Untouched, // the file is byte for byte as it was
    Failed,    // a write in place broke off and could not be undone: the file may have changed
};

// The new contents for the old ones, or nothing to leave the file as it is.
using Rewriter = std::function<std::optional<QByteArray>(const QByteArray &old)>;

// Reads the regular file at `path` whole and replaces its contents with what `rewrite` makes
// of them. A link, pipe, folder or device of that name is left alone and never opened for
// writing; so is a file this process may not write, or one larger than `maxSize` bytes.
// The new contents go into a temporary file in the same folder, which takes the file's
// place in one step with the file's permissions (and on POSIX its owner and group). Where
// that cannot be done (the folder takes no new file, the owner cannot be kept), the file is
// rewritten in place, but only after room for the new contents has been made behind the old
// ones, so that a full disk or a file-size limit stops the write before an old byte changes.
Rewrite rewriteRegularFile(const QString &path, qint64 maxSize, const Rewriter &rewrite);
