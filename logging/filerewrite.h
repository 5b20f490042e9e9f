#pragma once
// Rewriting one file of the shared log folder, where anyone may leave links, pipes or
// read-only files. Needs no Qt: paths are UTF-8, contents are bytes.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

// How a rewrite ended.
enum class Rewrite {
    Written,   // the file holds the new contents
    Untouched, // the file is byte for byte as it was
    Failed,    // a write in place broke off and could not be undone: the file may have changed
};

// The new contents for the old ones, or nothing to leave the file as it is.
using Rewriter = std::function<std::optional<std::string>(const std::string &old)>;

// Reads the regular file at `path` whole and replaces its contents with what `rewrite` makes
// of them. A link, pipe, folder or device of that name is left alone and never opened for
// writing; so is a file this process may not write, or one larger than `maxSize` bytes.
// The new contents go into a temporary file in the same folder, which takes the file's
// place in one step with the file's permissions, owner and group. Where that cannot be done
// (the folder takes no new file, the owner cannot be kept), the file is rewritten in place,
// but only after room for the new contents has been made behind the old ones, so that a full
// disk or a file-size limit stops the write before an old byte changes.
Rewrite rewriteRegularFile(const std::string &path, std::size_t maxSize, const Rewriter &rewrite);
