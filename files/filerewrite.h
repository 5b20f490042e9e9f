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
// The new contents go into a new file in the same folder, which takes the file's place in one
// step with the file's permissions (and on POSIX its owner and group); a second name of the
// file (a hard link) keeps the old contents. Where that cannot be done (the owner cannot be
// kept), a file with one name is rewritten in place: its old bytes go first into a recovery
// file of ours beside it, "<file name>~", six letters or digits, ".restore", which
// restoreInterruptedRewrites puts back should the program end during the write; where no
// recovery file can be made, the file stays untouched. Room for the new contents is made
// behind the old ones before an old byte changes, so that a full disk or a file-size limit
// usually stops the write early; a write that breaks off later puts the old bytes back.
Rewrite rewriteRegularFile(const QString &path, qint64 maxSize, const Rewriter &rewrite);

// Puts back the old bytes of every file of the folder (which ends with "/") whose rewrite in
// place was cut short, from the recovery files that this user's rewrites left there, and
// removes those. Recovery files of a rewrite still running, or of other users, stay. Meant for
// start-up.
void restoreInterruptedRewrites(const QString &folder);
