#include "redaction.h"

#include "zipassembler.h"

#include <QDir>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

const char *const kindNames[Redactor::kinds] = {"host name",    "domain",       "user name",  "home folder",
                                                 "IPv4 address", "IPv6 address", "MAC address"};

// Bytes of a name or a word: a name matches only where none of these stands next to it.
bool isWordByte(uchar c)
{
    return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') || c == '_' || c == '-' || c >= 0x80;
}

bool isDigit(uchar c)
{
    return c >= '0' && c <= '9';
}

int hexValue(uchar c)
{
    if (isDigit(c))
        return c - '0';
    c |= 0x20;
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

uchar lower(uchar c)
{
    return c >= 'A' && c <= 'Z' ? uchar(c | 0x20) : c;
}

uchar at(const QByteArray &text, qsizetype index)
{
    return index >= 0 && index < text.size() ? uchar(text[index]) : uchar(' ');
}

// 0 for the bytes behind which nothing begins (letters, digits, "_"), 1 for the others.
const std::array<uint8_t, 256> wordStart = [] {
    std::array<uint8_t, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[size_t(c)] = !(isDigit(uchar(c)) || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') || c == '_');
    return table;
}();

// Whether an address may begin at `index`: not inside a word or a number, nor inside a run of
// hexadecimal groups ("1::2::3", "00-1a-2b"); but behind a word ("MAC:") or a dotted number
// ("10.0.0.1-10.0.0.9").
bool addressStart(const QByteArray &text, qsizetype index)
{
    const uchar before = at(text, index - 1);
    if (wordStart[before] == 0 || before == '.')
        return false;
    if (before != ':' && before != '-')
        return true;
    qsizetype i = index - 2;
    while (index - 2 - i < 5 && hexValue(at(text, i)) >= 0)
        --i;
    const qsizetype group = index - 2 - i;
    if (group == 0)
        return at(text, i) != ':' && at(text, i) != '-';
    return group > 4 || wordStart[at(text, i)] == 0 || at(text, i) == '.';
}

// A home folder's path is a name only when it has at least two parts: a user whose home is "/"
// must not turn every slash into a stand-in.
bool usableHome(const QString &home)
{
    return QDir::cleanPath(QString(home).replace(u'\\', u'/')).split(u'/', Qt::SkipEmptyParts).size() >= 2;
}

// Two hexadecimal digits of each of `count` bytes of `value`, the highest first, joined by `separator`.
QByteArray hexBytes(uint64_t value, int count, char separator, bool upper)
{
    QByteArray text;
    for (int i = count - 1; i >= 0; --i) {
        if (!text.isEmpty())
            text += separator;
        text += QByteArray::number(uint((value >> (8 * i)) & 0xFF), 16).rightJustified(2, '0');
    }
    return upper ? text.toUpper() : text;
}

// RFC 5952 text of an IPv6 address: lower case, the longest run of two or more zero groups
// written "::".
QByteArray ipv6Text(const std::array<uint16_t, 8> &groups)
{
    int bestStart = -1;
    int bestLength = 1;
    for (int i = 0; i < 8;) {
        int j = i;
        while (j < 8 && groups[j] == 0)
            ++j;
        if (j - i > bestLength) {
            bestStart = i;
            bestLength = j - i;
        }
        i = j == i ? i + 1 : j;
    }
    QByteArray text;
    for (int i = 0; i < 8; ++i) {
        if (i == bestStart) {
            text += "::";
            i += bestLength - 1;
            continue;
        }
        if (!text.isEmpty() && !text.endsWith(':'))
            text += ':';
        text += QByteArray::number(groups[i], 16);
    }
    return text;
}

// Parses the IPv6 address text[begin, end): hexadecimal groups, at most one "::", and a dotted
// IPv4 tail allowed.
bool parseIpv6(const char *text, qsizetype begin, qsizetype end, std::array<uint16_t, 8> &groups)
{
    std::array<uint16_t, 8> parsed{};
    int count = 0;
    int gap = -1; // the group index where "::" stands
    qsizetype i = begin;
    if (end - i >= 2 && text[i] == ':' && text[i + 1] == ':') {
        gap = 0;
        i += 2;
    }
    while (i < end) {
        // A group, or the IPv4 tail where a dot follows its digits.
        qsizetype j = i;
        uint32_t value = 0;
        while (j < end && j - i < 5 && hexValue(uchar(text[j])) >= 0)
            value = value << 4 | uint32_t(hexValue(uchar(text[j++])));
        if (j < end && text[j] == '.') {
            uint32_t address = 0;
            j = i;
            for (int part = 0; part < 4; ++part) {
                if (part > 0 && (j >= end || text[j++] != '.'))
                    return false;
                uint32_t number = 0;
                const qsizetype first = j;
                while (j < end && isDigit(uchar(text[j])) && j - first < 3)
                    number = number * 10 + uint32_t(text[j++] - '0');
                if (j == first || number > 255)
                    return false;
                address = address << 8 | number;
            }
            if (j != end || count > 6)
                return false;
            parsed[size_t(count++)] = uint16_t(address >> 16);
            parsed[size_t(count++)] = uint16_t(address);
            break;
        }
        if (j == i || j - i > 4 || count == 8)
            return false;
        parsed[size_t(count++)] = uint16_t(value);
        if (j == end)
            break;
        if (text[j] != ':' || j + 1 == end)
            return false;
        i = j + 1;
        if (text[i] == ':') {
            if (gap >= 0)
                return false;
            gap = count;
            ++i;
        }
    }
    if (gap < 0 ? count != 8 : count > 7)
        return false;
    groups.fill(0);
    const int tail = gap < 0 ? 0 : count - gap;
    std::copy(parsed.begin(), parsed.begin() + (count - tail), groups.begin());
    std::copy(parsed.begin() + (count - tail), parsed.begin() + count, groups.end() - tail);
    return true;
}

// The names without repeats that differ only in letter case.
QStringList distinct(const QStringList &names)
{
    QStringList kept;
    for (const QString &name : names) {
        if (!kept.contains(name, Qt::CaseInsensitive))
            kept << name;
    }
    return kept;
}

} // namespace

Redactor::Redactor(const Identity &identity)
{
    // Stand-ins are numbered in the identity's order, so the same machine gives the same ones.
    const auto add = [this](const QStringList &names, Kind kind, const auto &standInOf) {
        for (qsizetype i = 0; i < names.size(); ++i) {
            const QByteArray bytes = names[i].toUtf8();
            QByteArray lowered = bytes;
            for (char &c : lowered)
                c = char(lower(uchar(c)));
            if (bytes.size() < 2 || std::any_of(literals.cbegin(), literals.cend(),
                                                [&](const Literal &known) { return known.lower == lowered; }))
                continue;
            const QByteArray standIn = standInOf(names[i], i + 1);
            literals.push_back({lowered, kind, standIn});
            lines.emplace_back(kind, standIn + '\t' + bytes);
        }
    };
    const auto numbered = [](const char *prefix, const char *suffix = "") {
        return [prefix, suffix](const QString &, qsizetype n) { return prefix + QByteArray::number(n) + suffix; };
    };
    add(distinct(identity.hostNames), HostName, numbered("host"));
    add(distinct(identity.domains), Domain, numbered("domain", ".example"));
    add(distinct(identity.users), UserName, numbered("user"));
    // A home folder's stand-in is a folder where the system keeps homes, written the same way;
    // Windows writes its paths with either separator.
    QStringList homes;
    for (const QString &home : distinct(identity.homes)) {
        if (usableHome(home))
            homes << home;
    }
    const auto home = [](const QString &path, qsizetype n) {
        const bool drive = path.size() > 1 && path[1] == u':';
        const QChar separator = path.contains(u'\\') ? u'\\' : u'/';
        return QString(drive ? QStringLiteral("C:/Users/user-home%1") : QStringLiteral("/home/user-home%1"))
            .arg(n)
            .replace(u'/', separator)
            .toUtf8();
    };
    add(homes, HomeFolder, home);
    add(QStringList(homes).replaceInStrings(QStringLiteral("\\"), QStringLiteral("/")), HomeFolder, home);
    std::stable_sort(literals.begin(), literals.end(),
                     [](const Literal &a, const Literal &b) { return a.lower.size() > b.lower.size(); });
    for (const Literal &literal : literals) {
        byFirstByte[uchar(literal.lower[0])].push_back(&literal);
        longest = std::max(longest, literal.lower.size());
    }
}

qsizetype Redactor::redact(const QByteArray &text, qsizetype from, bool atEnd, QByteArray &out, Counts &counts)
{
    // A match begins before `limit` and is decided within the bytes after it: the longest
    // address text is 45 bytes, a name `longest`, and each needs one more to see its end.
    const qsizetype lookahead = std::max<qsizetype>(64, longest + 2);
    const qsizetype limit = atEnd ? text.size() : text.size() - lookahead;
    qsizetype index = from;
    qsizetype copied = from;
    QByteArray standIn;
    const char *bytes = text.constData();
    while (index < limit) {
        // Nothing begins right behind a letter, a digit or "_": skip to the next byte that
        // follows anything else.
        if (index > 0 && wordStart[uchar(bytes[index - 1])] == 0) {
            while (++index < limit && wordStart[uchar(bytes[index - 1])] == 0) {
            }
            continue;
        }
        const uchar c = uchar(bytes[index]);
        const uchar before = at(text, index - 1);
        qsizetype used = 0;
        Kind kind = kinds;
        if ((hexValue(c) >= 0 || c == ':') && addressStart(text, index)) {
            if ((used = mac(text, index, standIn)))
                kind = Mac;
            else if ((used = ipv6(text, index, standIn)))
                kind = Ipv6;
            else if (isDigit(c) && (used = ipv4(text, index, standIn)))
                kind = Ipv4;
        }
        if (!used && !isWordByte(before)) {
            if (const Literal *name = literal(text, index)) {
                used = name->lower.size();
                kind = name->kind;
                standIn = name->standIn;
            }
        }
        if (!used) {
            ++index;
            continue;
        }
        out.append(text.constData() + copied, index - copied);
        out += standIn;
        ++counts[kind];
        index += used;
        copied = index;
    }
    const qsizetype end = std::max(index, limit);
    if (end > copied)
        out.append(text.constData() + copied, end - copied);
    return std::max(end, from);
}

QByteArray Redactor::redacted(const QByteArray &text)
{
    QByteArray out;
    Counts uncounted{};
    redact(text, 0, true, out, uncounted);
    return out;
}

// The longest name that stands at `index` as a whole word, ignoring the letter case of ASCII.
const Redactor::Literal *Redactor::literal(const QByteArray &text, qsizetype index) const
{
    for (const Literal *name : byFirstByte[lower(uchar(text[index]))]) {
        const qsizetype size = name->lower.size();
        if (index + size > text.size() || isWordByte(at(text, index + size)))
            continue;
        qsizetype i = 1;
        while (i < size && lower(uchar(text[index + i])) == uchar(name->lower[i]))
            ++i;
        if (i == size)
            return name;
    }
    return nullptr;
}

template <typename Key, typename MakeLine>
uint64_t Redactor::number(std::map<Key, uint64_t> &numbers, const Key &key, Kind kind, const MakeLine &makeLine)
{
    std::lock_guard<std::mutex> guard(lock);
    const auto [place, added] = numbers.try_emplace(key, numbers.size() + 1);
    if (added)
        lines.emplace_back(kind, makeLine(place->second));
    return place->second;
}

// Four decimal bytes, each below 256, not inside a longer dotted number. Loopback (127/8), the
// unspecified address and net masks stay as they are: they tell nothing about the machine.
qsizetype Redactor::ipv4(const QByteArray &text, qsizetype index, QByteArray &standIn)
{
    uint32_t address = 0;
    qsizetype i = index;
    for (int part = 0; part < 4; ++part) {
        if (part > 0 && at(text, i++) != '.')
            return 0;
        uint value = 0;
        int digits = 0;
        while (digits < 4 && isDigit(at(text, i)))
            value = value * 10 + uint(text[i++] - '0'), ++digits;
        if (digits == 0 || digits > 3 || value > 255)
            return 0;
        address = address << 8 | value;
    }
    const uchar after = at(text, i);
    if (wordStart[after] == 0 || after >= 0x80 || (after == '.' && isDigit(at(text, i + 1))))
        return 0;
    const bool mask = address >> 24 == 255 && (~address & (~address + 1)) == 0;
    if (address >> 24 == 127 || address == 0 || mask)
        return 0;
    // The stand-in networks come from 240.0.0.0/4, which no network uses; the host byte stays.
    const auto dotted = [](uint32_t network) {
        return QByteArray::number(network >> 16) + '.' + QByteArray::number(network >> 8 & 0xFF) + '.' +
               QByteArray::number(network & 0xFF);
    };
    const auto standInNetwork = [](uint64_t n) { return uint32_t((240u << 16) + n); };
    const uint64_t n = number(networks4, address >> 8, Ipv4, [&](uint64_t k) {
        return dotted(standInNetwork(k)) + ".0/24\t" + dotted(address >> 8) + ".0/24";
    });
    standIn = dotted(standInNetwork(n)) + '.' + QByteArray::number(address & 0xFF);
    return i - index;
}

// An IPv6 address: a run of hexadecimal groups and colons (a dotted IPv4 tail allowed) with "::"
// or eight groups. Loopback and the unspecified address stay. A /64 network and an interface
// identifier each get a stand-in: networks from 2001:db8::/32, kept for link-local ones (fe80::/64,
// which every machine has), and identifiers numbered from ::1.
qsizetype Redactor::ipv6(const QByteArray &text, qsizetype index, QByteArray &standIn)
{
    qsizetype end = index;
    int colons = 0;
    bool digits = false;
    for (; end < text.size() && end - index <= 45; ++end) {
        const uchar c = uchar(text[end]);
        if (c == ':')
            ++colons;
        else if (hexValue(c) < 0 && c != '.')
            break;
        digits = digits || isDigit(c);
    }
    // Words of hexadecimal letters around "::" ("a::b") are names, not addresses.
    if (colons < 2 || !digits || end - index > 45)
        return 0;
    // A sentence's full stop or a colon behind the address is not part of it.
    while (end > index && (text[end - 1] == '.' || (text[end - 1] == ':' && at(text, end - 2) != ':')))
        --end;
    std::array<uint16_t, 8> groups;
    if (isWordByte(at(text, end)) || !parseIpv6(text.constData(), index, end, groups))
        return 0;
    uint64_t network = 0;
    uint64_t interface = 0;
    for (int i = 0; i < 4; ++i) {
        network = network << 16 | groups[size_t(i)];
        interface = interface << 16 | groups[size_t(i + 4)];
    }
    if (network == 0 && interface <= 1)
        return 0;
    const auto text64 = [](uint64_t half, bool high) {
        std::array<uint16_t, 8> all{};
        for (int i = 0; i < 4; ++i)
            all[size_t((high ? 0 : 4) + i)] = uint16_t(half >> (48 - 16 * i));
        return ipv6Text(all);
    };
    const auto standInNetwork = [](uint64_t n) { return 0x20010db800000000ull + n; };
    // Link-local (fe80::/64) and IPv4-carrying (::/64) networks are the same on every machine.
    const bool shared = network == 0xfe80000000000000ull || network == 0;
    const uint64_t newNetwork =
        shared ? network
                  : standInNetwork(number(networks6, network, Ipv6, [&](uint64_t k) {
                        return text64(standInNetwork(k), true) + "/64\t" + text64(network, true) + "/64";
                    }));
    const uint64_t newInterface = number(interfaces6, interface, Ipv6, [&](uint64_t k) {
        return text64(k, false) + '\t' + text64(interface, false);
    });
    std::array<uint16_t, 8> replaced{};
    for (int i = 0; i < 4; ++i) {
        replaced[size_t(i)] = uint16_t(newNetwork >> (48 - 16 * i));
        replaced[size_t(i + 4)] = uint16_t(newInterface >> (48 - 16 * i));
    }
    standIn = ipv6Text(replaced);
    return end - index;
}

// Six bytes of two hexadecimal digits each, joined by ":" or by "-" throughout. The first three
// name the maker and stay; the device part gets a number of its own.
qsizetype Redactor::mac(const QByteArray &text, qsizetype index, QByteArray &standIn)
{
    const char separator = text.size() > index + 2 ? text[index + 2] : '\0';
    if (separator != ':' && separator != '-')
        return 0;
    uint64_t address = 0;
    bool upper = false;
    for (int i = 0; i < 6; ++i) {
        const qsizetype pair = index + 3 * i;
        const int high = hexValue(at(text, pair));
        const int low = hexValue(at(text, pair + 1));
        if (high < 0 || low < 0 || (i < 5 && at(text, pair + 2) != uchar(separator)))
            return 0;
        upper = upper || (at(text, pair) >= 'A' && at(text, pair) <= 'F') || (at(text, pair + 1) >= 'A' && at(text, pair + 1) <= 'F');
        address = address << 8 | uint64_t(high << 4 | low);
    }
    const qsizetype end = index + 17;
    if (isWordByte(at(text, end)) && at(text, end) != '-')
        return 0;
    if ((at(text, end) == ':' || at(text, end) == '-') && hexValue(at(text, end + 1)) >= 0)
        return 0;
    const QByteArray vendor = text.mid(index, 9);
    const uint64_t n = number(devices, address, Mac,
                              [&](uint64_t k) { return vendor + hexBytes(k, 3, separator, upper) + '\t' + text.mid(index, 17); });
    standIn = vendor + hexBytes(n, 3, separator, upper);
    return 17;
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

RedactedSource::RedactedSource(SharedFile file, Redactor &redactor)
    : file(std::move(file)), redactor(redactor), zipReader(std::make_unique<ZipAssemblerReader>())
{
    *zipReader = {read, rewind, this, this->file.get(), quint64(qMax<qint64>(currentSize(this->file.get()), 0))};
}

RedactedSource::~RedactedSource() = default;

uint32_t RedactedSource::read(void *context, uint8_t *bytes, uint32_t maxBytes)
{
    auto &self = *static_cast<RedactedSource *>(context);
    while (self.readyAt == self.ready.size() && !(self.ended && self.start == self.pending.size())) {
        self.ready.resize(0); // keeps its memory for the next piece
        self.readyAt = 0;
        if (!self.ended) {
            // The byte before `start` stays, for the look at what precedes a match.
            self.pending.remove(0, std::max<qsizetype>(self.start - 1, 0));
            self.start = std::min<qsizetype>(self.start, 1);
            const qsizetype had = self.pending.size();
            self.pending.resize(had + 65536);
            const size_t got = std::fread(self.pending.data() + had, 1, 65536, self.file.get());
            self.pending.resize(had + qsizetype(got));
            self.ended = got == 0;
        }
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
