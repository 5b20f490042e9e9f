#pragma once
// Redaction of a support archive: the machine's names and domains, its users, their full names
// and home folders, IPv4 and IPv6 addresses and the device part of MAC addresses give way to
// stand-ins that no real text contains (names under "redacted", addresses from reserved ranges),
// the same original always to the same stand-in in every notation, so that the support desk can
// still follow one device or one subnet through every entry.

#include "archive.h"
#include "identity.h"
#include "redactionscan.h"

#include <QByteArray>
#include <QMap>
#include <QString>

#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <unordered_map>
#include <unordered_set>
#include <vector>

struct ZipAssemblerReader;

class Redactor {
public:
    using Kind = redaction::Kind;
    using Counts = redaction::Counts;

    // Learns the identity's own addresses first, so that their stand-ins come first and their
    // integer forms are known from the start.
    explicit Redactor(const Identity &identity);
    ~Redactor();
    Redactor(const Redactor &) = delete;
    Redactor &operator=(const Redactor &) = delete;

    // Learns the addresses that `text` writes in an ordinary notation, from `from` on, the same
    // way as redact() reads; their hexadecimal and decimal forms count from then on. Call it for
    // every entry before the first is redacted, never while another thread redacts.
    qsizetype learn(const QByteArray &text, qsizetype from, bool atEnd);
    // Learns from the files as learn() would, reading them one after another in their order, in
    // pieces of `readSize` bytes, but on all cores: each file's addresses are gathered on their
    // own and then taken in the files' order, so that the stand-ins' numbers do not depend on the
    // threads. Leaves every file at its start.
    void learnFiles(const std::vector<std::FILE *> &files, qsizetype readSize = 65536);
    // Redacts `text` from `from` on (the bytes before it are only looked at) and appends the
    // result to `out`, counting what it replaced into `counts`. Returns where it stopped: the
    // end when `atEnd`; otherwise, since more text could change what a match is, somewhat before
    // it. Safe to call from several threads at once.
    qsizetype redact(const QByteArray &text, qsizetype from, bool atEnd, QByteArray &out, Counts &counts);
    // The whole of `text`, redacted without counting.
    QByteArray redacted(const QByteArray &text);

    // Adds (or with -1 takes back) replacements made in an entry.
    void count(const Counts &counts, int sign);
    // The replacements counted, by kind ("host name", "IPv4 address"...), the kinds with none
    // left out.
    QMap<QString, quint64> counts() const;
    // Each stand-in and its original, a line "stand-in TAB original" each, under a "# kind"
    // line for each kind: what --unredact reads.
    QByteArray mapping() const;

private:
    class Forward;
    friend class Forward;
    class Recorder; // one file's addresses, for learnFiles

    mutable std::mutex lock; // over what follows
    std::map<uint32_t, uint32_t> networks4;                  // first three bytes: stand-in's
    std::map<std::pair<uint32_t, int>, uint32_t> prefixes4;  // a network wider than /24: stand-in's
    uint32_t nextPrefix4;
    std::map<uint64_t, uint64_t> networks6;                  // first eight bytes: stand-in's
    std::map<std::pair<uint64_t, int>, uint64_t> prefixes6;  // a prefix wider than /64: stand-in's
    std::map<uint64_t, uint64_t> interfaces6;                // last eight bytes: stand-in's
    std::map<uint64_t, uint64_t> devices;                    // MAC address: stand-in
    std::unordered_set<uint64_t> macStandIns;
    std::unordered_set<uint32_t> known4;
    std::unordered_set<uint64_t> knownMacs;
    std::unordered_map<uint32_t, uint32_t> knownLows; // a known MAC address's lower four bytes: stand-in's
    std::vector<std::pair<Kind, QByteArray>> lines;  // "stand-in TAB original", as made
    Counts totals{};

    redaction::Scanner scanner; // made after `lines`, which it fills with the names' stand-ins
    std::unique_ptr<Forward> redacting;
    std::unique_ptr<Forward> learning;
};

namespace redaction {
// Reads on from `file` into `pending`, dropping what lies before `start` but for the bytes the
// scanner looks back at; false at the file's end.
bool readOn(std::FILE *file, QByteArray &pending, qsizetype &start, qsizetype readSize);
} // namespace redaction

// An entry's source read through a redactor, as a source of the ZIP writer: the file from its
// start at every rewind, the replacements of the last complete reading counted in the redactor.
// The redactor should have learned from every entry (learnFiles) before the first is read. It
// reads the file in pieces of `readSize` bytes.
class RedactedSource {
public:
    RedactedSource(SharedFile file, Redactor &redactor, qsizetype readSize = 65536);
    ~RedactedSource();
    RedactedSource(const RedactedSource &) = delete;
    RedactedSource &operator=(const RedactedSource &) = delete;

    const ZipAssemblerReader *reader() const { return zipReader.get(); }

private:
    static uint32_t read(void *context, uint8_t *bytes, uint32_t maxBytes);
    static bool rewind(void *context);
    // Reads on into `pending`; false at the file's end.
    bool readMore();

    SharedFile file;
    Redactor &redactor;
    const qsizetype readSize;
    std::unique_ptr<ZipAssemblerReader> zipReader;
    QByteArray pending; // read, not yet redacted but for the bytes before `start`
    qsizetype start = 0;
    QByteArray ready;   // redacted, not yet handed over from `readyAt`
    qsizetype readyAt = 0;
    bool ended = false; // the file is read to its end
    bool counted = false;
    Redactor::Counts counts{};
};
