#include "unredact.h"

#include "redactionscan.h"

#include <QFile>

#include <cstdio>
#include <map>
#include <vector>

using namespace redaction;

namespace {

bool parseMac(const QByteArray &text, uint64_t &address)
{
    if (text.size() != 17)
        return false;
    address = 0;
    for (int i = 0; i < 6; ++i) {
        bool ok = false;
        const uint byte = text.mid(3 * i, 2).toUInt(&ok, 16);
        if (!ok || (i < 5 && text[3 * i + 2] != ':'))
            return false;
        address = address << 8 | byte;
    }
    return true;
}

// "ADDRESS/LENGTH": the address text and the length, -1 where there is none.
QByteArray addressPart(const QByteArray &text, int &length)
{
    const qsizetype slash = text.indexOf('/');
    bool ok = true;
    length = slash < 0 ? -1 : text.mid(slash + 1).toInt(&ok);
    if (!ok)
        length = -2;
    return text.left(slash < 0 ? text.size() : slash);
}

template <typename Value>
struct Block {
    Value base;
    int length;
    Value original;
};

} // namespace

struct Unredactor::Tables final : Mapper {
    std::map<uint32_t, uint32_t> networks4; // stand-in's first three bytes: the original's
    std::vector<Block<uint32_t>> prefixes4;
    std::map<uint64_t, uint64_t> networks6;
    std::vector<Block<uint64_t>> prefixes6;
    std::map<uint64_t, uint64_t> interfaces6;
    std::map<uint64_t, uint64_t> macs;
    std::map<uint32_t, uint32_t> lows;
    std::vector<Literal> names;

    bool ipv4(uint32_t address, int, bool, uint32_t &replaced) override
    {
        const auto found = networks4.find(address >> 8);
        if (found != networks4.end()) {
            replaced = found->second << 8 | (address & 0xFF);
            return true;
        }
        for (const Block<uint32_t> &block : prefixes4) {
            const uint32_t hostBits = (1u << (32 - block.length)) - 1;
            if ((address & ~hostBits) == block.base) {
                replaced = block.original | (address & hostBits);
                return true;
            }
        }
        return false;
    }

    bool ipv6(const Ipv6Bytes &address, int prefix, Ipv6Bytes &replaced) override
    {
        uint64_t network = high(address);
        uint64_t interface = low(address);
        if (network == 0 && (interface >> 32 == 0xFFFF || interface >> 32 == 0)) {
            uint32_t v4;
            if (!ipv4(uint32_t(interface), -1, true, v4))
                return false;
            replaced = joined(0, (interface & ~0xFFFFFFFFull) | v4);
            return true;
        }
        bool changed = false;
        for (const Block<uint64_t> &block : prefixes6) {
            if (block.length == prefix && network == block.base && interface == 0) {
                network = block.original;
                changed = true;
            }
        }
        if (const auto found = networks6.find(network); !changed && found != networks6.end()) {
            network = found->second;
            changed = true;
        }
        if (const auto found = interfaces6.find(interface); found != interfaces6.end()) {
            interface = found->second;
            changed = true;
        }
        replaced = joined(network, interface);
        return changed;
    }

    bool mac(uint64_t address, bool, uint64_t &replaced) override
    {
        const auto found = macs.find(address);
        if (found == macs.end())
            return false;
        replaced = found->second;
        return true;
    }

    bool macLow(uint32_t lowBytes, uint32_t &replaced) override
    {
        const auto found = lows.find(lowBytes);
        if (found == lows.end())
            return false;
        replaced = found->second;
        return true;
    }

    bool knownIpv4(uint32_t address) override
    {
        uint32_t unused;
        return ipv4(address, -1, true, unused);
    }

    bool knownMac(uint64_t address) override { return macs.count(address) > 0; }

    // Takes in one line; false where it is not one that redaction writes.
    bool add(const QByteArray &standIn, const QByteArray &original)
    {
        int length;
        int originalLength;
        const QByteArray address = addressPart(standIn, length);
        const QByteArray originalAddress = addressPart(original, originalLength);
        uint32_t v4;
        uint32_t original4;
        if (parseIpv4(address.constData(), v4)) {
            if (!parseIpv4(originalAddress.constData(), original4) || length != originalLength || v4 >> 28 != 0xF ||
                length < 8 || length > 24)
                return false;
            if (length == 24 && v4 >> 24 == 0xF0)
                networks4[v4 >> 8] = original4 >> 8;
            else
                prefixes4.push_back({v4, length, original4});
            return true;
        }
        Ipv6Bytes v6;
        Ipv6Bytes original6;
        if (parseIpv6(address.constData(), v6)) {
            if (!parseIpv6(originalAddress.constData(), original6) || length != originalLength)
                return false;
            if (length == 64 && v6[0] == 0x01)
                networks6[high(v6)] = high(original6);
            else if (length >= 32 && length < 64 && v6[0] == 0x01)
                prefixes6.push_back({high(v6), length, high(original6)});
            else if (length == -1 && high(v6) == 0 && low(v6) >> 48 == 0x0100)
                interfaces6[low(v6)] = low(original6);
            else
                return false;
            return true;
        }
        uint64_t mac;
        uint64_t originalMac;
        if (parseMac(standIn, mac)) {
            if (!parseMac(original, originalMac))
                return false;
            macs[mac] = originalMac;
            lows[uint32_t(mac)] = uint32_t(originalMac);
            return true;
        }
        QByteArray lower = standIn.toLower();
        if (!lower.contains("redacted"))
            return false;
        names.push_back({lower, original, HostName});
        return true;
    }
};

Unredactor::Unredactor(std::unique_ptr<Tables> tables) : tables(std::move(tables)) {}

Unredactor::~Unredactor() = default;

std::unique_ptr<Unredactor> Unredactor::fromMapping(const QByteArray &mapping, QString &error)
{
    auto tables = std::make_unique<Tables>();
    const QList<QByteArray> lines = mapping.split('\n');
    if (!lines.first().startsWith("# zel.logging: ")) {
        error = QStringLiteral("not a redaction mapping of zel.logging: its first line does not name the archive");
        return nullptr;
    }
    for (qsizetype i = 1; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QList<QByteArray> parts = line.split('\t');
        if (parts.size() != 2 || parts[0].isEmpty() || parts[1].isEmpty() || !tables->add(parts[0], parts[1])) {
            error = QStringLiteral("not a redaction mapping of zel.logging: line %1 is no \"stand-in TAB original\" "
                                   "of its own")
                        .arg(i + 1);
            return nullptr;
        }
    }
    return std::unique_ptr<Unredactor>(new Unredactor(std::move(tables)));
}

QByteArray Unredactor::restored(const QByteArray &text)
{
    const Scanner scanner(tables->names);
    QByteArray out;
    Counts counts{};
    scanner.run(text, 0, true, out, counts, *tables);
    return out;
}

int unredactFiles(const QString &mappingPath, const QStringList &files)
{
    QFile mappingFile(mappingPath);
    QString error;
    std::unique_ptr<Unredactor> unredactor;
    if (!mappingFile.open(QIODevice::ReadOnly))
        error = mappingFile.errorString();
    else
        unredactor = Unredactor::fromMapping(mappingFile.readAll(), error);
    if (!unredactor) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(mappingPath), qPrintable(error));
        return 2;
    }
    int code = 0;
    const QStringList inputs = files.isEmpty() ? QStringList{QString()} : files;
    for (const QString &path : inputs) {
        QFile input(path);
        const bool opened = path.isEmpty() ? input.open(stdin, QIODevice::ReadOnly) : input.open(QIODevice::ReadOnly);
        const QByteArray text = opened ? input.readAll() : QByteArray();
        if (!opened || input.error() != QFileDevice::NoError) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(path.isEmpty() ? QStringLiteral("-") : path),
                         qPrintable(input.errorString()));
            code = 1;
            continue;
        }
        const QByteArray out = unredactor->restored(text);
        if (std::fwrite(out.constData(), 1, size_t(out.size()), stdout) != size_t(out.size()))
            return 1;
    }
    return std::fflush(stdout) == 0 ? code : 1;
}
