#include "redaction.h"

#include <QDir>

#include <algorithm>
#include <atomic>
#include <thread>

using namespace redaction;

namespace {

const char *const kindNames[kinds] = {"host name",    "domain",       "user name",   "full name",
                                      "home folder",  "IPv4 address", "IPv6 address", "MAC address"};

// Stand-in ranges. IPv4: 240.0.0.0/4 is reserved and no network uses it; a /24 network's stand-in
// is 240.N.N.0/24, a wider network's comes from 241.0.0.0 on. IPv6: 100::/8 is reserved as well;
// a /64 network's stand-in is 100:0:0:N::/64, a wider prefix's 101:0:N::, an interface
// identifier's ::100:0:0:N.
constexpr uint32_t standIn4 = 0xF0000000u;
constexpr uint32_t firstPrefix4 = 0xF1000000u;
constexpr uint32_t lastPrefix4 = 0xFF000000u;
constexpr uint64_t standIn6 = 0x0100000000000000ull;
constexpr uint64_t prefixStandIn6 = 0x0101000000000000ull;

uchar lower(uchar c)
{
    return c >= 'A' && c <= 'Z' ? uchar(c | 0x20) : c;
}

QByteArray lowered(QByteArray bytes)
{
    for (char &c : bytes)
        c = char(lower(uchar(c)));
    return bytes;
}

// A home folder's path is a name only when it has at least two parts: a user whose home is "/"
// must not turn every slash into a stand-in.
bool usableHome(const QString &home)
{
    return QDir::cleanPath(QString(home).replace(u'\\', u'/')).split(u'/', Qt::SkipEmptyParts).size() >= 2;
}

QByteArray macText(uint64_t address)
{
    QByteArray text;
    for (int i = 5; i >= 0; --i)
        text += QByteArray::number(uint(address >> (8 * i) & 0xFF), 16).rightJustified(2, '0') + (i ? ":" : "");
    return text;
}

} // namespace

// The redactor's answers to the scanner. While learning, an address met in an ordinary notation
// becomes known, so that its integer forms count.
class Redactor::Forward final : public Mapper {
public:
    Forward(Redactor &redactor, bool learn) : r(redactor), learn(learn) {}

    bool ipv4(uint32_t address, int prefix, bool ordinary, uint32_t &replaced) override
    {
        const bool mask = address >> 24 == 255 && (~address & (~address + 1)) == 0;
        if (address >> 24 == 127 || address == 0 || address >> 28 >= 0xE || mask || (prefix >= 0 && prefix < 8))
            return false;
        std::lock_guard<std::mutex> guard(r.lock);
        if (!ordinary && !r.known4.count(address))
            return false;
        if (learn && ordinary)
            r.known4.insert(address);
        const uint32_t hostBits = prefix >= 0 && prefix < 32 ? (1u << (32 - prefix)) - 1 : 0;
        if (prefix >= 8 && prefix < 24 && (address & hostBits) == 0) {
            const auto [place, added] = r.prefixes4.try_emplace({address, prefix}, 0);
            if (added) {
                uint32_t base = (r.nextPrefix4 + hostBits) & ~hostBits;
                if (base < firstPrefix4 || base + hostBits >= lastPrefix4)
                    base = firstPrefix4;
                place->second = base;
                r.nextPrefix4 = base + hostBits + 1;
                const QByteArray length = '/' + QByteArray::number(prefix);
                r.lines.emplace_back(Ipv4, ipv4Text(base) + length + '\t' + ipv4Text(address) + length);
            }
            replaced = place->second;
            return true;
        }
        const auto [place, added] = r.networks4.try_emplace(address >> 8, 0);
        if (added) {
            place->second = (standIn4 >> 8) + uint32_t(r.networks4.size() % 0x10000);
            r.lines.emplace_back(Ipv4, ipv4Text(place->second << 8) + "/24\t" + ipv4Text(address & ~0xFFu) + "/24");
        }
        replaced = place->second << 8 | (address & 0xFF);
        return true;
    }

    bool ipv6(const Ipv6Bytes &address, int prefix, Ipv6Bytes &replaced) override
    {
        const uint64_t network = high(address);
        const uint64_t interface = low(address);
        if ((network == 0 && interface <= 1) || address[0] == 0xFF || address[0] == 0x01 || (prefix >= 0 && prefix < 32))
            return false;
        if (network == 0 && (interface >> 32 == 0xFFFF || interface >> 32 == 0)) {
            // An IPv4 address carried in an IPv6 one gets the IPv4 address's stand-in.
            uint32_t v4;
            if (!ipv4(uint32_t(interface), prefix >= 96 ? prefix - 96 : -1, true, v4))
                return false;
            replaced = joined(0, (interface & ~0xFFFFFFFFull) | v4);
            return true;
        }
        const bool linkLocal = address[0] == 0xFE && (address[1] & 0xC0) == 0x80;
        const bool interfaceStandIn = interface >> 48 == 0x0100 && (interface >> 16 & 0xFFFFFFFF) == 0;
        if (linkLocal && (interface == 0 || interfaceStandIn))
            return false;
        std::lock_guard<std::mutex> guard(r.lock);
        uint64_t newNetwork = network;
        const uint64_t hostBits = prefix >= 0 && prefix < 64 ? (1ull << (64 - prefix)) - 1 : 0;
        if (prefix >= 32 && prefix < 64 && (network & hostBits) == 0 && interface == 0) {
            const auto [place, added] = r.prefixes6.try_emplace({network, prefix}, 0);
            if (added) {
                place->second = prefixStandIn6 + (uint64_t(r.prefixes6.size() % 0x10000) << 32);
                const QByteArray length = '/' + QByteArray::number(prefix);
                r.lines.emplace_back(Ipv6, ipv6Text(joined(place->second, 0)) + length + '\t' +
                                               ipv6Text(joined(network, 0)) + length);
            }
            replaced = joined(place->second, 0);
            return true;
        }
        if (!linkLocal) {
            const auto [place, added] = r.networks6.try_emplace(network, 0);
            if (added) {
                place->second = standIn6 + r.networks6.size();
                r.lines.emplace_back(Ipv6, ipv6Text(joined(place->second, 0)) + "/64\t" + ipv6Text(joined(network, 0)) +
                                               "/64");
            }
            newNetwork = place->second;
        }
        uint64_t newInterface = 0;
        if (interface != 0) {
            const auto [place, added] = r.interfaces6.try_emplace(interface, 0);
            if (added) {
                place->second = standIn6 + r.interfaces6.size();
                r.lines.emplace_back(Ipv6, ipv6Text(joined(0, place->second)) + '\t' + ipv6Text(joined(0, interface)));
            }
            newInterface = place->second;
        }
        replaced = joined(newNetwork, newInterface);
        return true;
    }

    // Broadcast, zero and multicast addresses stay; the first three bytes name the maker and stay.
    bool mac(uint64_t address, bool ordinary, uint64_t &replaced) override
    {
        if (address == 0 || (address >> 40 & 1))
            return false;
        std::lock_guard<std::mutex> guard(r.lock);
        if (r.macStandIns.count(address) || (!ordinary && !r.knownMacs.count(address)))
            return false;
        const auto [place, added] = r.devices.try_emplace(address, 0);
        if (added) {
            place->second = (address & 0xFFFFFF000000ull) | (r.devices.size() & 0xFFFFFF);
            r.macStandIns.insert(place->second);
            r.lines.emplace_back(Mac, macText(place->second) + '\t' + macText(address));
        }
        if (learn && ordinary) {
            r.knownMacs.insert(address);
            r.knownLows.emplace(uint32_t(address), uint32_t(place->second));
        }
        replaced = place->second;
        return true;
    }

    bool macLow(uint32_t lowBytes, uint32_t &replaced) override
    {
        std::lock_guard<std::mutex> guard(r.lock);
        const auto found = r.knownLows.find(lowBytes);
        if (found == r.knownLows.end())
            return false;
        replaced = found->second;
        return true;
    }

    bool knownIpv4(uint32_t address) override
    {
        std::lock_guard<std::mutex> guard(r.lock);
        return r.known4.count(address) > 0;
    }

    bool knownMac(uint64_t address) override
    {
        std::lock_guard<std::mutex> guard(r.lock);
        return r.knownMacs.count(address) > 0;
    }

private:
    Redactor &r;
    const bool learn;
};

namespace {

// The identity's names with their stand-ins, numbered in the identity's order so that the same
// machine gives the same ones; repeats that differ only in letter case count once.
std::vector<Literal> namesOf(const Identity &identity, std::vector<std::pair<Kind, QByteArray>> &lines)
{
    std::vector<Literal> literals;
    const auto add = [&](const QStringList &names, Kind kind, const auto &standInOf) {
        int number = 0;
        for (const QString &name : names) {
            const QByteArray bytes = name.toUtf8();
            const QByteArray key = lowered(bytes);
            if (bytes.size() < 2 || std::any_of(literals.cbegin(), literals.cend(),
                                                [&](const Literal &known) { return known.lower == key; }))
                continue;
            const QByteArray standIn = standInOf(name, ++number);
            literals.push_back({key, standIn, kind});
            lines.emplace_back(kind, standIn + '\t' + bytes);
        }
    };
    add(identity.hostNames, HostName, [](const QString &, int n) { return "redacted-host" + QByteArray::number(n); });
    add(identity.domains, Domain, [](const QString &name, int n) {
        return name.contains(u'.') ? "domain" + QByteArray::number(n) + ".redacted.invalid"
                                   : "redacted-domain" + QByteArray::number(n);
    });
    add(identity.users, UserName, [](const QString &, int n) { return "redacted-user" + QByteArray::number(n); });
    // Windows writes a long user name's folder in its 8.3 form as well ("C:\Users\JKOWAL~1"),
    // in text that may reach any machine.
    for (size_t i = 0, users = literals.size(); i < users; ++i) {
        const Literal user = literals[i];
        if (user.kind != UserName || (user.lower.size() <= 8 && !user.lower.contains('.')))
            continue;
        const QByteArray key = QByteArray(user.lower).replace('.', "").left(6) + "~1";
        if (std::none_of(literals.cbegin(), literals.cend(), [&](const Literal &known) { return known.lower == key; })) {
            // Not "~1": a stand-in must not end in a number that the text behind could extend.
            const QByteArray standIn = QByteArray(user.replacement).replace("redacted-", "redacted-short-");
            literals.push_back({key, standIn, UserName});
            lines.emplace_back(UserName, standIn + '\t' + key.toUpper());
        }
    }
    add(identity.fullNames, FullName, [](const QString &, int n) { return "Redacted Person" + QByteArray::number(n); });
    // A home folder's stand-in is a folder where the system keeps homes, written the same way;
    // Windows writes its paths with either separator.
    QStringList homes;
    for (const QString &home : identity.homes) {
        if (usableHome(home))
            homes << home;
    }
    const auto home = [](const QString &path, int n) {
        const bool drive = path.size() > 1 && path[1] == u':';
        const QChar separator = path.contains(u'\\') ? u'\\' : u'/';
        return QString(drive ? QStringLiteral("C:/Users/redacted-home%1") : QStringLiteral("/home/redacted-home%1"))
            .arg(n)
            .replace(u'/', separator)
            .toUtf8();
    };
    add(homes, HomeFolder, home);
    add(QStringList(homes).replaceInStrings(QStringLiteral("\\"), QStringLiteral("/")), HomeFolder, home);
    return literals;
}

} // namespace

Redactor::Redactor(const Identity &identity)
    : nextPrefix4(firstPrefix4), scanner(namesOf(identity, lines)), redacting(std::make_unique<Forward>(*this, false)),
      learning(std::make_unique<Forward>(*this, true))
{
    learn((identity.addresses + identity.macs).join(u'\n').toUtf8(), 0, true);
}

// Out of line, where Forward is complete.
Redactor::~Redactor() = default;

qsizetype Redactor::learn(const QByteArray &text, qsizetype from, bool atEnd)
{
    QByteArray out;
    Counts counts{};
    return scanner.run(text, from, atEnd, out, counts, *learning);
}

// The addresses a file writes in an ordinary notation, each at its first meeting, in order. It
// replaces nothing: the scanner goes the same way whatever a mapper answers, but for integer
// forms, which teach nothing.
class Redactor::Recorder final : public Mapper {
public:
    struct Met {
        Kind kind;
        uint32_t v4;
        int prefix;
        Ipv6Bytes v6;
        uint64_t mac;
    };
    std::vector<Met> met;

    bool ipv4(uint32_t address, int prefix, bool ordinary, uint32_t &) override
    {
        if (ordinary && seen4.insert({address, prefix}).second)
            met.push_back({Ipv4, address, prefix, {}, 0});
        return false;
    }
    bool ipv6(const Ipv6Bytes &address, int prefix, Ipv6Bytes &) override
    {
        if (seen6.insert({address, prefix}).second)
            met.push_back({Ipv6, 0, prefix, address, 0});
        return false;
    }
    bool mac(uint64_t address, bool ordinary, uint64_t &) override
    {
        if (ordinary && seenMacs.insert(address).second)
            met.push_back({Mac, 0, -1, {}, address});
        return false;
    }
    bool macLow(uint32_t, uint32_t &) override { return false; }
    bool knownIpv4(uint32_t) override { return false; }
    bool knownMac(uint64_t) override { return false; }

private:
    std::set<std::pair<uint32_t, int>> seen4;
    std::set<std::pair<Ipv6Bytes, int>> seen6;
    std::set<uint64_t> seenMacs;
};

void Redactor::learnFiles(const std::vector<std::FILE *> &files, qsizetype readSize)
{
    std::vector<Recorder> recorders(files.size());
    std::atomic<size_t> next{0};
    const auto work = [&] {
        for (size_t i; (i = next++) < files.size();) {
            QByteArray pending;
            QByteArray out;
            Counts counts{};
            qsizetype start = 0;
            bool ended = std::fseek(files[i], 0, SEEK_SET) != 0;
            while (!ended || start < pending.size()) {
                if (!ended)
                    ended = !redaction::readOn(files[i], pending, start, readSize);
                out.resize(0);
                start = scanner.run(pending, start, ended, out, counts, recorders[i]);
            }
            std::fseek(files[i], 0, SEEK_SET);
        }
    };
    std::vector<std::thread> threads(std::min<size_t>(std::max(std::thread::hardware_concurrency(), 1u), files.size()));
    for (std::thread &thread : threads)
        thread = std::thread(work);
    for (std::thread &thread : threads)
        thread.join();
    for (const Recorder &recorder : recorders) {
        for (const Recorder::Met &address : recorder.met) {
            uint32_t v4;
            Ipv6Bytes v6;
            uint64_t mac;
            if (address.kind == Ipv4)
                learning->ipv4(address.v4, address.prefix, true, v4);
            else if (address.kind == Ipv6)
                learning->ipv6(address.v6, address.prefix, v6);
            else
                learning->mac(address.mac, true, mac);
        }
    }
}

qsizetype Redactor::redact(const QByteArray &text, qsizetype from, bool atEnd, QByteArray &out, Counts &counts)
{
    return scanner.run(text, from, atEnd, out, counts, *redacting);
}

QByteArray Redactor::redacted(const QByteArray &text)
{
    QByteArray out;
    Counts uncounted{};
    redact(text, 0, true, out, uncounted);
    return out;
}

void Redactor::count(const Counts &counts, int sign)
{
    std::lock_guard<std::mutex> guard(lock);
    for (int kind = 0; kind < kinds; ++kind)
        totals[size_t(kind)] += sign * counts[size_t(kind)];
}

QMap<QString, quint64> Redactor::counts() const
{
    std::lock_guard<std::mutex> guard(lock);
    QMap<QString, quint64> named;
    for (int kind = 0; kind < kinds; ++kind) {
        if (totals[size_t(kind)] > 0)
            named.insert(QLatin1String(kindNames[kind]), quint64(totals[size_t(kind)]));
    }
    return named;
}

QByteArray Redactor::mapping() const
{
    std::lock_guard<std::mutex> guard(lock);
    QByteArray text;
    for (int kind = 0; kind < kinds; ++kind) {
        QByteArray section;
        for (const auto &[lineKind, line] : lines) {
            if (lineKind == kind)
                section += line + '\n';
        }
        if (!section.isEmpty())
            text += QByteArray("# ") + kindNames[kind] + "\n" + section;
    }
    return text;
}
