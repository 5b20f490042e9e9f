#include "filerewrite.h"

#include "regularfile.h"

namespace {

// Rewrites the file in place. The new bytes beyond the old length go first, so that a full disk
// or a file-size limit stops the write while every old byte is still there; once they are in,
// overwriting the old bytes needs no more room.
Rewrite rewriteInPlace(RegularFile &file, const std::string &old, const std::string &bytes)
{
    if (bytes.size() > old.size() && !file.writeAt(old.size(), bytes.substr(old.size())))
        return file.resize(old.size()) ? Rewrite::Untouched : Rewrite::Failed;
    if (file.writeAt(0, bytes.substr(0, old.size())) && file.resize(bytes.size()))
        return Rewrite::Written;
    // The room was there, so only a failing device gets here: try to put the old bytes back.
    return file.writeAt(0, old) && file.resize(old.size()) ? Rewrite::Untouched : Rewrite::Failed;
}

} // namespace

Rewrite rewriteRegularFile(const std::string &path, std::size_t maxSize, const Rewriter &rewrite)
{
    RegularFile file(path, maxSize);
    if (!file.contents())
        return Rewrite::Untouched;
    const std::optional<std::string> bytes = rewrite(*file.contents());
    if (!bytes)
        return Rewrite::Untouched;
    if (file.replaceWith(*bytes))
        return Rewrite::Written;
    // Writing in place would also change what another name of the file shows.
    if (!file.hasOneName())
        return Rewrite::Untouched;
    return rewriteInPlace(file, *file.contents(), *bytes);
}
