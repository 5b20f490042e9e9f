#pragma once
// The platform layer of a file rewrite: one regular file of a folder, held open from reading
// to writing, never reached through a link. Needs no Qt: paths are UTF-8.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

class RegularFile {
public:
    // Opens the file for reading and writing and reads it whole. A link, pipe, folder or device
    // of that name is not opened; nor is a file this process may not write, or one larger than
    // `maxSize` bytes: contents() is then empty.
    RegularFile(const std::string &path, std::size_t maxSize);
    ~RegularFile();
    RegularFile(const RegularFile &) = delete;
    RegularFile &operator=(const RegularFile &) = delete;

    const std::optional<std::string> &contents() const { return old; }
    // True while no other name (a hard link) leads to the same file.
    bool hasOneName() const;
    // Writes `bytes` into a new file in the same folder and puts it in this file's place in
    // one step, with this file's permissions, owner and group. False leaves the file as it was.
    bool replaceWith(const std::string &bytes);
    // Writes `bytes` at `offset` and makes sure they reached the disk.
    bool writeAt(std::uint64_t offset, const std::string &bytes);
    bool resize(std::uint64_t size);

private:
    std::string path;
    std::intptr_t handle;
    std::optional<std::string> old;
};
