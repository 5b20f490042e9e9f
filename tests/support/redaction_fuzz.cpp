// The redaction scanner under libFuzzer: for any text, redacting it whole and redacting it in
// pieces of random sizes (as an entry is read) give the same bytes, and a second pass over the
// redacted text changes nothing.
#include "redaction.h"

#include <cstdint>
#include <cstdlib>

namespace {

Identity machine()
{
    Identity identity;
    identity.hostNames = {"cam-line7"};
    identity.domains = {"plant.company.example", "company.example", "PLANT"};
    identity.users = {"jkowalski", "anna"};
    identity.homes = {"/home/jkowalski", "C:\\Users\\JKOWAL~1"};
    identity.fullNames = {"Anna Schmidt"};
    identity.addresses = {"192.168.10.21", "fd00::1"};
    identity.macs = {"00:1b:21:3c:4d:5e"};
    return identity;
}

// Reads `text` into a buffer in pieces, the way an entry's source does, keeping the bytes that
// the scanner looks back at; `step` gives each piece's size.
template <typename Step, typename Pass>
QByteArray inPieces(const QByteArray &text, Step step, Pass pass)
{
    QByteArray pending;
    QByteArray out;
    qsizetype start = 0;
    qsizetype read = 0;
    while (read < text.size() || start < pending.size()) {
        const qsizetype keep = std::max<qsizetype>(start - redaction::Scanner::context, 0);
        pending.remove(0, keep);
        start -= keep;
        const qsizetype piece = std::min<qsizetype>(step(), text.size() - read);
        pending += text.mid(read, piece);
        read += piece;
        start = pass(pending, start, read == text.size(), out);
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), qsizetype(size));
    Redactor whole(machine());
    whole.learn(text, 0, true);
    const QByteArray expected = whole.redacted(text);

    Redactor pieces(machine());
    uint32_t seed = uint32_t(size) * 2654435761u + 1;
    const auto step = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return qsizetype(seed >> 16) % 97 + 1;
    };
    Redactor::Counts counts{};
    inPieces(text, step, [&](const QByteArray &buffer, qsizetype from, bool atEnd, QByteArray &) {
        return pieces.learn(buffer, from, atEnd);
    });
    const QByteArray got = inPieces(text, step, [&](const QByteArray &buffer, qsizetype from, bool atEnd, QByteArray &out) {
        return pieces.redact(buffer, from, atEnd, out, counts);
    });
    if (got != expected)
        std::abort();
    if (whole.redacted(expected) != expected)
        std::abort();
    return 0;
}
