#pragma once
// Redaction of a support archive: the machine's names, its users and their home folders, IPv4
// and IPv6 addresses and the device part of MAC addresses give way to stand-ins, the same
// original always to the same stand-in within one archive, so that the support desk can still
// follow one device or one subnet through every entry.

#include "archive.h"
#include "identity.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QVector>

#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

struct ZipAssemblerReader;

class Redactor {
public:
    enum Kind { HostName, Domain, UserName, HomeFolder, Ipv4, Ipv6, Mac, kinds };
    using Counts = std::array<qint64, kinds>;

    explicit Redactor(const Identity &identity);
    Redactor(const Redactor &) = delete;
    Redactor &operator=(const Redactor &) = delete;

    // Redacts `text` from `from` on (the byte before it, when there is one, is only looked at)
    // and appends the result to `out`, counting what it replaced into `counts`. Returns where it
    // stopped: the end when `atEnd`; otherwise, since more text could change what a match is,
    // somewhat before it. Safe to call from several threads at once.
    qsizetype redact(const QByteArray &text, qsizetype from, bool atEnd, QByteArray &out, Counts &counts);
    // The whole of `text`, redacted without counting.
    QByteArray redacted(const QByteArray &text);

    // Adds (or with -1 takes back) replacements made in an entry.
    void count(const Counts &counts, int sign);
    // The replacements counted, by kind ("host name", "IPv4 address"...), the kinds with none
    // left out.
    QMap<QString, quint64> counts() const;
    // Each stand-in and its original, a line each, kind by kind: what the customer needs to
    // read the support desk's answer.
    QByteArray mapping() const;

private:
    struct Literal {
        QByteArray lower; // ASCII letters in lower case
        Kind kind;
        QByteArray standIn;
    };
    const Literal *literal(const QByteArray &text, qsizetype index) const;
    // Each returns the length of the address at `index` and sets its stand-in, or returns 0.
    qsizetype ipv4(const QByteArray &text, qsizetype index, QByteArray &standIn);
    qsizetype ipv6(const QByteArray &text, qsizetype index, QByteArray &standIn);
    qsizetype mac(const QByteArray &text, qsizetype index, QByteArray &standIn);
    // The number of `key` among the originals of `kind`, numbered from 1 as first met; for a
    // new one, makeLine(number) gives its line of the mapping.
    template <typename Key, typename MakeLine>
    uint64_t number(std::map<Key, uint64_t> &numbers, const Key &key, Kind kind, const MakeLine &makeLine);

    std::vector<Literal> literals; // the longest first
    std::array<std::vector<const Literal *>, 256> byFirstByte;
    qsizetype longest = 0;

    mutable std::mutex lock; // over what follows
    std::map<uint32_t, uint64_t> networks4;     // the first three bytes
    std::map<uint64_t, uint64_t> networks6;     // the first eight bytes
    std::map<uint64_t, uint64_t> interfaces6;   // the last eight bytes
    std::map<uint64_t, uint64_t> devices;       // the whole MAC address
    std::vector<std::pair<Kind, QByteArray>> lines; // "stand-in TAB original", as made
    Counts totals{};
};

// An entry's source read through a redactor, as a source of the ZIP writer: the file from its
// start at every rewind, the replacements of the last complete reading counted in the redactor.
class RedactedSource {
public:
    RedactedSource(SharedFile file, Redactor &redactor);
    ~RedactedSource();
    RedactedSource(const RedactedSource &) = delete;
    RedactedSource &operator=(const RedactedSource &) = delete;

    const ZipAssemblerReader *reader() const { return zipReader.get(); }

private:
    static uint32_t read(void *context, uint8_t *bytes, uint32_t maxBytes);
    static bool rewind(void *context);

    SharedFile file;
    Redactor &redactor;
    std::unique_ptr<ZipAssemblerReader> zipReader;
    QByteArray pending; // read, not yet redacted but for the bytes before `start`
    qsizetype start = 0;
    QByteArray ready;   // redacted, not yet handed over from `readyAt`
    qsizetype readyAt = 0;
    bool ended = false; // the file is read to its end
    bool counted = false;
    Redactor::Counts counts{};
};
