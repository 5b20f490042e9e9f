#include "source.h"
#include "fileinfo.h"

#include <algorithm>
#include <cstring>

namespace zip {

namespace {

class FileSource final : public Source {
public:
    FileSource(std::FILE *stream, bool owned, bool seekable) : stream(stream), owned(owned), seekable(seekable) {}
    ~FileSource() override
    {
        if (owned)
            std::fclose(stream);
    }
    FileSource(const FileSource &) = delete;
    FileSource &operator=(const FileSource &) = delete;

    uint32_t read(uint8_t *bytes, uint32_t maxBytes) override
    {
        return static_cast<uint32_t>(std::fread(bytes, 1, maxBytes, stream));
    }
    bool rewind() override { return seekable && seekFile(stream, 0); }

private:
    std::FILE *const stream;
    const bool owned;
    const bool seekable;
};

class MemorySource final : public Source {
public:
    MemorySource(const uint8_t *bytes, uint32_t length) : bytes(bytes), length(length) {}

    uint32_t read(uint8_t *out, uint32_t maxBytes) override
    {
        const uint32_t count = std::min(maxBytes, length - position);
        if (count > 0)
            std::memcpy(out, bytes + position, count);
        position += count;
        return count;
    }
    bool rewind() override
    {
        position = 0;
        return true;
    }

private:
    const uint8_t *const bytes;
    const uint32_t length;
    uint32_t position = 0;
};

class CallbackSource final : public Source {
public:
    explicit CallbackSource(const ZipAssemblerReader &reader) : reader(reader) {}

    // A reader that claims more than it was asked for is held to the request.
    uint32_t read(uint8_t *bytes, uint32_t maxBytes) override
    {
        return maxBytes ? std::min(reader.read(reader.context, bytes, maxBytes), maxBytes) : 0;
    }
    bool rewind() override { return reader.rewind && reader.rewind(reader.context); }

private:
    const ZipAssemblerReader &reader;
};

} // namespace

std::unique_ptr<Source> fileSource(std::FILE *stream, bool owned, bool seekable)
{
    return std::make_unique<FileSource>(stream, owned, seekable);
}

std::unique_ptr<Source> memorySource(const uint8_t *bytes, uint32_t length)
{
    return std::make_unique<MemorySource>(bytes, length);
}

std::unique_ptr<Source> callbackSource(const ZipAssemblerReader &reader)
{
    return std::make_unique<CallbackSource>(reader);
}

} // namespace zip
