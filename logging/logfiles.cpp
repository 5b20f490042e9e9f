#include "logfiles.h"

namespace {

// The cause of the call that just failed.
FileFault failure()
{
    const FileFault fault = lastFault();
    return fault == FileFault::None ? FileFault::Failed : fault;
}

} // namespace

FileFault ensureLogFile(const HeldFolder &folder, const QString &name)
{
    // Only our own kind of log is touched: a folder, a pipe or a link of that name stays as it
    // is (opening a pipe for writing would wait for a reader; a link would hand its target
    // every permission). A new log is created exclusively, so it is never made through a link.
    if (folder.kind(name) == EntryKind::Missing) {
        const PlainFile log = folder.create(name);
        if (!log)
            return failure();
        return setPermissions(log.get(), everyPermission) ? FileFault::None : failure();
    }
    // An existing log keeps its contents; it only gets the permissions again, where it is ours
    // to give them.
    const PlainFile log = folder.open(name, false);
    if (!log)
        return FileFault::NotPlain;
    setPermissions(log.get(), everyPermission);
    return FileFault::None;
}

FileFault removeLogFile(const HeldFolder &folder, const QString &name)
{
    if (folder.kind(name) != EntryKind::PlainFile || folder.remove(name))
        return FileFault::None;
    return failure();
}
