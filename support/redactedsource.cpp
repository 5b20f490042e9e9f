// The ZIP writer's side of redaction: an entry read through the redactor in pieces.
#include "redaction.h"

#include "zipassembler.h"

#include <cstdio>
#include <cstring>

bool redaction::readOn(std::FILE *file, QByteArray &pending, qsizetype &start, qsizetype readSize)
{
    const qsizetype keep = std::max<qsizetype>(start - Scanner::context, 0);
    pending.remove(0, keep);
    start -= keep;
    const qsizetype had = pending.size();
    pending.resize(had + readSize);
    const size_t got = std::fread(pending.data() + had, 1, size_t(readSize), file);
    pending.resize(had + qsizetype(got));
    return got > 0;
}

RedactedSource::RedactedSource(SharedFile file, Redactor &redactor, qsizetype readSize)
    : file(std::move(file)), redactor(redactor), readSize(readSize), zipReader(std::make_unique<ZipAssemblerReader>())
{
    *zipReader = {read, rewind, this, this->file.get(), quint64(qMax<qint64>(currentSize(this->file.get()), 0))};
}

RedactedSource::~RedactedSource() = default;

bool RedactedSource::readMore()
{
    return redaction::readOn(file.get(), pending, start, readSize);
}

uint32_t RedactedSource::read(void *context, uint8_t *bytes, uint32_t maxBytes)
{
    auto &self = *static_cast<RedactedSource *>(context);
    while (self.readyAt == self.ready.size() && !(self.ended && self.start == self.pending.size())) {
        self.ready.resize(0); // keeps its memory for the next piece
        self.readyAt = 0;
        if (!self.ended)
            self.ended = !self.readMore();
        self.start = self.redactor.redact(self.pending, self.start, self.ended, self.ready, self.counts);
        if (self.ended && !self.counted) {
            self.redactor.count(self.counts, 1);
            self.counted = true;
        }
    }
    const uint32_t count = uint32_t(std::min<qsizetype>(maxBytes, self.ready.size() - self.readyAt));
    std::memcpy(bytes, self.ready.constData() + self.readyAt, count);
    self.readyAt += count;
    return count;
}

bool RedactedSource::rewind(void *context)
{
    auto &self = *static_cast<RedactedSource *>(context);
    // A second reading counts its replacements afresh.
    if (self.counted)
        self.redactor.count(self.counts, -1);
    self.counts = {};
    self.counted = false;
    self.pending.clear();
    self.ready.clear();
    self.start = self.readyAt = 0;
    self.ended = false;
    return std::fseek(self.file.get(), 0, SEEK_SET) == 0;
}
