#pragma once
// ZIP archive writer: entries stored or deflated, with extended timestamps; no encryption, no
// comments. Create a writer, add entries one at a time or in batches, close it.
//
// ZIP64 records are written only where the 32-bit format cannot hold a value: an entry of
// 0xFFFFFFFF bytes or more (either size), a local header at offset 0xFFFFFFFF or past it, more
// than 65,535 entries, or a central directory whose offset or size reaches 0xFFFFFFFF. Every
// other archive has no ZIP64 record at all. A memory archive stays below 4 GiB in length.

#include <cstdint>

// What an operation returns. The values are part of the interface.
enum class ZipAssemblerResult : uint32_t {
    Ok = 0x00000000,
    // Create: the archive file cannot be created. Add: the source cannot be opened, or its file
    // information cannot be read; or its data outgrew a local header written without the ZIP64
    // field (it was expected to be smaller) and the source cannot start over: a Reader without
    // `rewind`, a pipe or a device. The entry's bytes are then cut off the archive again.
    OpenFailed = 0x00000200,
    // Create with a memory target: the memory cannot be obtained. (An add whose data cannot
    // grow the memory archive reports WriteFailed.)
    MapFailed = 0x00000300,
    // Add: a header or the entry data could not be written whole. Close: the central directory
    // or the end record could not be written, or the file could not be flushed and closed.
    // A short write to an archive file leaves its contents in doubt, so it also fails every
    // later add (PreviouslyFailed) and the close.
    WriteFailed = 0x00000400,
    // A null handle or output pointer, an empty entry name, a null source for FileName, Stream
    // or Memory, a zero length for Memory, an unknown kind, or a memory query on a file target.
    BadArgument = 0x00010000,
    // Memory target: capacity 0 at create. Add to a memory archive: the entry's worst-case size
    // would carry the archive past 0xFFFFFFFF bytes; refused before anything is written when the
    // source's size is known, and the entry is cut off the archive when it is not. Not sticky:
    // a smaller add can still succeed.
    CapacityTooSmall = 0x00030000,
    // Add after a failure that leaves the archive's bytes in doubt (a failed seek or cut, or a
    // short write to the file); the close then reports that failure.
    PreviouslyFailed = 0x00040000,
    // Add after zipAssemblerMemory has completed the archive.
    AlreadyClosed = 0x00050000,
    // Batch add: the progress callback asked to stop. Entries not yet written are left out and
    // the archive is in doubt: later adds return PreviouslyFailed and the close reports
    // Cancelled. The caller closes the archive and deletes its file.
    Cancelled = 0x00070000,
    // The handle is not an archive writer's.
    WrongHandle = 0x00080000,
    // Reserved: every target of this writer has an output and every source an input.
    NotReady = 0x01000000,
    // Add: the archive could not be positioned to complete an entry's header, or cut back to
    // the start of a failed entry. Sticky.
    SeekFailed = 0x02000000,
    // Reserved: every target of this writer can seek, so no entry needs a data descriptor.
    CannotPatch = 0x04000000,
};

enum class ZipTargetKind : uint32_t {
    Stream = 1,   // target: an open, empty `std::FILE *` for reading and writing, at its start;
                  // the caller keeps it: the close flushes it and leaves it open. A batch add's
                  // waiting data past its memory budget goes to the system's temporary folder
    FileName = 2, // target: NUL-terminated UTF-8 path; the file is created or truncated (a
                  // link of that name is not followed, and it, a pipe or a folder fails create)
    Memory = 3,   // target: optional caller buffer of `capacity` bytes, or null
};

enum class ZipSourceKind : uint32_t {
    Stream = 1,   // source: an open `std::FILE *` read from its start; the caller keeps and
                  // closes it. sourceLength: the size to assume for a pipe or device (0: unknown;
                  // 0xFFFFFFFF: that much or more, which gives the ZIP64 local header at once)
    FileName = 2, // source: NUL-terminated UTF-8 path, opened and closed by the writer
    Memory = 3,   // source: a block of sourceLength bytes, copied out during the add
    Folder = 4,   // source: ignored; a folder entry, name ending with "/"
    Reader = 5,   // source: a `ZipAssemblerReader`, which the caller keeps until the add ends;
                  // sourceLength: ignored
};

// A source whose bytes the caller hands over as they are read, such as a file passed through a
// filter. `read` fills up to `maxBytes` of `bytes` and returns the count, 0 at the end (or on
// an error). `rewind` starts the data again from its first byte and returns false when it
// cannot; it is called before every reading of the entry, and an entry that can rewind may be
// read more than once (in a batch ahead of its turn on another thread, then at its turn when
// its compressed data could not be kept; and again when its data outgrew a local header without
// the ZIP64 field), never on two threads at once. Without `rewind` the entry is read once, at
// its turn. The entry takes its times and attributes from `file` when it is an open disk file
// (null: the current time). `size` is the size expected (0 when unknown): it serves the
// progress of a batch, and from 0xFFFFFFFF on gives the entry the ZIP64 local header from the
// start. The size of the data is found while reading it.
struct ZipAssemblerReader {
    uint32_t (*read)(void *context, uint8_t *bytes, uint32_t maxBytes);
    bool (*rewind)(void *context);
    void *context;
    const void *file; // a `std::FILE *`, or null
    uint64_t size;
};

// One archive being written. Opaque; owned by the caller from create to close.
struct ZipAssemblerHandle;

// Creates an archive writer and returns its handle, or null when the file cannot be created
// (FileName), the stream is null (Stream), the capacity is 0 or the memory cannot be had
// (Memory), or the kind is unknown.
// A caller buffer (Memory) stays the caller's: it is written in place until the archive
// outgrows it, then copied into a block the writer owns; it is never released by the writer.
ZipAssemblerHandle *zipAssemblerCreate(const void *target, uint32_t capacity,
                                       ZipTargetKind targetKind);

// Adds one entry read from `source` under `entryName` and returns Ok, or the first failure.
// The name is cut to 260 bytes and backslashes become "/". Names ending in .Z, .zip, .zoo,
// .arc, .lzh, .arj, .gz or .tgz (any case) and folders are stored; the rest are deflated.
// A source whose size is known (a disk file, memory, a declared size) of 0xFFFFFFFF bytes or
// more gets the local header with the ZIP64 field from the start. One that turns out to hold
// that much while read is cut off and read again from its start with that header (a disk file
// or a Reader with `rewind`); one that cannot start over fails with OpenFailed.
// A failed add leaves the archive as it was before it: bytes of the entry already written are
// cut off again. The exceptions leave the archive in doubt and fail every later add: a short
// write or a failed seek or cut of the archive file. Later adds go on otherwise, except after
// PreviouslyFailed and AlreadyClosed.
ZipAssemblerResult zipAssemblerAdd(ZipAssemblerHandle *handle, const char *entryName,
                                   const void *source, uint32_t sourceLength,
                                   ZipSourceKind sourceKind);

// One entry of a batch: the arguments of zipAssemblerAdd, and the entry's result on return.
struct ZipAssemblerEntry {
    const char *entryName;
    const void *source;
    uint32_t sourceLength;
    ZipSourceKind sourceKind;
    ZipAssemblerResult result;
};

// Progress of a batch, called on the thread that called zipAssemblerAddBatch, at least once
// per entry and about every 100 ms while a large entry is compressed: `entry` is the index of
// the entry being worked on (the first not yet written; `count` once all are), `done` the
// source bytes read so far, `total` the sum of the sources' sizes as known at the start (a
// source that grows meanwhile can carry `done` past it). Returning false cancels the batch.
using ZipAssemblerProgress = bool (*)(void *context, uint32_t entry, uint64_t done, uint64_t total);

// Adds `count` entries in order, compressing several at once on all cores; the archive is
// byte for byte the one that zipAssemblerAdd called for each entry in order would write.
// Each entry's own result goes to its `result`, and a failed entry does not stop the others,
// exactly as with single adds. Returns Ok, the first sticky failure (PreviouslyFailed or
// AlreadyClosed when the archive refused adds before the batch began), or Cancelled when the
// progress callback returned false: then entries not yet written are left out (their result
// is Cancelled), every temporary file is removed, and the archive is in doubt (later adds
// return PreviouslyFailed); the caller closes it and deletes the file. `progress` may be null.
// Compressed data that waits for its turn is kept in memory up to a fixed budget, beyond that
// in a temporary file beside a file archive, which is gone when the call returns.
// A null handle, or null entries with a non-zero count, gives BadArgument; a foreign handle
// WrongHandle; neither touches the entries' results.
ZipAssemblerResult zipAssemblerAddBatch(ZipAssemblerHandle *handle, ZipAssemblerEntry *entries,
                                        uint32_t count, ZipAssemblerProgress progress,
                                        void *context);

// The threads a batch add compresses on: 0 (the default) one per core, up to 32 (more count as
// 32); 1 the calling thread alone. Several entries are compressed at once, and a large entry
// is cut into segments that the threads share. The archive's bytes are the same for every
// count. Returns Ok, or BadArgument / WrongHandle for a null or foreign handle.
ZipAssemblerResult zipAssemblerSetThreads(ZipAssemblerHandle *handle, uint32_t threads);

// The size of those segments in bytes, from 4,096 to 4 MiB (smaller or larger sizes count as
// these), or 0 (the default): chosen for the thread count, 1 MiB up to four threads and less
// for more, so that the segments in flight stay within their memory budget (32 MiB; sizes past
// 2 MiB leave room for too few segments to keep two threads busy). The archive's bytes are the
// same for every size. Returns Ok, or BadArgument / WrongHandle for a null or foreign handle.
ZipAssemblerResult zipAssemblerSetSegmentSize(ZipAssemblerHandle *handle, uint32_t bytes);

// Memory target: completes the archive (central directory and end record, once; later adds
// return AlreadyClosed) and points `bytes` and `length` at it. The bytes stay owned by the
// writer and valid until zipAssemblerClose. Returns the result of completing the archive,
// BadArgument for a file target or null pointers, or WrongHandle.
ZipAssemblerResult zipAssemblerMemory(ZipAssemblerHandle *handle, const uint8_t **bytes,
                                      uint32_t *length);

// Writes the central directory and end record unless already done, closes the target (a
// stream target is only flushed), frees the writer and the handle (invalid afterwards, even on
// failure) and returns Ok, or the first failure of the archive: a sticky one, WriteFailed for
// the directory or the file's flush and close.
ZipAssemblerResult zipAssemblerClose(ZipAssemblerHandle *handle);
