#pragma once
// The redaction's scanner: a tokenizer that tries, at each place where a word may begin, small
// pure classifiers, one per notation, each reading at most `maxSpan` bytes ahead and `context`
// bytes behind. It decides what an address or a name is and how it is written; what takes its
// place is a Mapper's to say: the redactor's stand-ins, or the way back to the originals.

#include "addresstext.h"

#include <QByteArray>

#include <array>
#include <cstdint>
#include <vector>

namespace redaction {

enum Kind { HostName, Domain, UserName, FullName, HomeFolder, Ipv4, Ipv6, Mac, kinds };
using Counts = std::array<qint64, kinds>;

// What replaces an address; each returns false where the original stays. `ordinary` is false
// for the hexadecimal and decimal integer forms, which count only for addresses `known` already.
class Mapper {
public:
    virtual bool ipv4(uint32_t address, int prefix, bool ordinary, uint32_t &replaced) = 0;
    virtual bool ipv6(const Ipv6Bytes &address, int prefix, Ipv6Bytes &replaced) = 0;
    virtual bool mac(uint64_t address, bool ordinary, uint64_t &replaced) = 0;
    // The lower four bytes of a MAC address (a camera's register), for known addresses only.
    virtual bool macLow(uint32_t low, uint32_t &replaced) = 0;
    virtual bool knownIpv4(uint32_t address) = 0;
    virtual bool knownMac(uint64_t address) = 0;

protected:
    ~Mapper() = default;
};

// A name and what replaces it; the name matched without regard to the letter case of ASCII.
struct Literal {
    QByteArray lower;
    QByteArray replacement;
    Kind kind;
};

class Scanner {
public:
    static constexpr qsizetype maxSpan = 64;
    static constexpr qsizetype context = 32;

    explicit Scanner(std::vector<Literal> literals);

    // Copies `text` from `from` on to `out` with what the mapper replaces replaced, counting
    // the replacements in `counts`. The `context` bytes before `from` are only looked at. Returns
    // where it stopped: the end when `atEnd`; otherwise before the last bytes, where more text
    // could change what a token is.
    qsizetype run(const QByteArray &text, qsizetype from, bool atEnd, QByteArray &out, Counts &counts,
                  Mapper &mapper) const;

    // The name that begins at `index` of `text` (of `size` bytes) and ends before anything but a
    // letter or digit; null when there is none.
    const Literal *literal(const char *text, qsizetype size, qsizetype index) const;
    qsizetype longestName() const { return longest; }
    // Whether a name may end with the byte `c`.
    bool mayEndName(uchar c) const { return lastBytes[c]; }

private:

    std::vector<Literal> literals; // the longest first
    std::array<std::vector<const Literal *>, 256> byFirstByte;
    std::array<bool, 256> lastBytes{};
    qsizetype longest = 0;
};

} // namespace redaction
