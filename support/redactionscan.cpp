#include "redactionscan.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace redaction {
namespace {

// Letters, digits and the bytes of UTF-8 characters: nothing begins or ends inside a run of them.
const std::array<bool, 256> wordByte = [] {
    std::array<bool, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[size_t(c)] = (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') || c >= 0x80;
    return table;
}();

// Each byte's value as a hexadecimal digit, -1 for any other.
const std::array<int8_t, 256> hexTable = [] {
    std::array<int8_t, 256> table;
    table.fill(-1);
    for (int c = 0; c < 10; ++c)
        table[size_t('0' + c)] = int8_t(c);
    for (int c = 0; c < 6; ++c)
        table[size_t('a' + c)] = table[size_t('A' + c)] = int8_t(10 + c);
    return table;
}();

int hexValue(uchar c)
{
    return hexTable[c];
}

bool isDigit(uchar c)
{
    return c >= '0' && c <= '9';
}

uchar lower(uchar c)
{
    return c >= 'A' && c <= 'Z' ? uchar(c | 0x20) : c;
}

enum class Notation {
    Dotted,  // 192.168.1.5
    Dashed,  // 192-168-1-5 inside a host name
    Hex,     // 0xC0A80105, a MAC address's 001b213c4d5e
    Decimal, // 3232235781
    Text6,   // any IPv6 text, an IPv4 address inside it included
    Groups,  // 00:1b:21:3c:4d:5e, 00-1B-…, 0:1b:…
    Quads,   // 001b.213c.4d5e
    Low,     // 0x213C4D5E, a MAC address's lower four bytes
};

// An address found: the bytes [begin, end) it stands in and how it is written there.
struct Token {
    qsizetype begin = 0;
    qsizetype end = 0;
    Kind kind = kinds;
    Notation notation = Notation::Dotted;
    bool keep = false; // looks like an address but is not one (a version, a record), or stays
    uint64_t value = 0;
    Ipv6Bytes v6{};
    int prefix = -1; // "/N" behind it
    bool upper = false;
    uint8_t narrow = 0; // the MAC groups written with one digit, the first highest
    char separator = ':';
    bool dotted = false; // an IPv6 address with a dotted tail
    char lead = 0; // 'x' or 'X' of a hexadecimal form's "0x"
};

Token tokenOf(qsizetype begin, qsizetype end, Kind kind, Notation notation)
{
    Token token;
    token.begin = begin;
    token.end = end;
    token.kind = kind;
    token.notation = notation;
    return token;
}

// Whether a URL-encoded separator ("%2F", "%5C") ends right before `index`.
inline bool afterEncodedSeparator(const char *text, qsizetype index, qsizetype low)
{
    if (index - 3 < low || text[index - 3] != '%')
        return false;
    const char a = text[index - 2];
    const char b = char(text[index - 1] | 0x20);
    return (a == '2' && b == 'f') || (a == '5' && b == 'c');
}

// Whether a name or an address may begin at `index`: behind anything but a letter or a digit,
// and behind a URL-encoded separator ("%2Fhome%2Fanna").
inline bool startsHere(const char *text, qsizetype index, qsizetype low)
{
    return index == low || !wordByte[uchar(text[index - 1])] || afterEncodedSeparator(text, index, low);
}

// The text seen by the classifiers: every read outside [low, size) gives a space, so that what
// is decided at an index depends only on the bytes within `context` before it and `maxSpan`
// after it, wherever the text was cut.
struct View {
    View(const char *bytes, qsizetype low, qsizetype size, const Scanner &names)
        : bytes(bytes), low(low), span(size_t(size - low)), names(names)
    {
    }
    uchar operator[](qsizetype i) const { return size_t(i - low) < span ? uchar(bytes[i]) : uchar(' '); }
    // The `n` bytes from `i` on, read as above: within the text where they all lie in it, else
    // copied into `spare`.
    const uchar *window(qsizetype i, qsizetype n, uchar *spare) const
    {
        if (i >= low && size_t(i - low + n) <= span)
            return reinterpret_cast<const uchar *>(bytes + i);
        for (qsizetype k = 0; k < n; ++k)
            spare[k] = (*this)[i + k];
        return spare;
    }
    const Literal *nameAt(qsizetype i) const { return names.literal(bytes, low + qsizetype(span), i); }
    // Whether a name that could begin within the view ends right before `i`.
    bool nameEndsAt(qsizetype i) const;
    bool startsAt(qsizetype i) const { return startsHere(bytes, i, low); }

    const char *bytes;
    qsizetype low;
    size_t span; // the bytes from `low` on that may be read
    const Scanner &names;
};

// Digits at `i`, at most `most`; their number and value.
int digitsAt(const View &text, qsizetype i, int most, uint64_t &value)
{
    uchar spare[16];
    const uchar *digits = text.window(i, most, spare);
    int count = 0;
    value = 0;
    for (; count < most && isDigit(digits[count]); ++count)
        value = value * 10 + uint64_t(digits[count] - '0');
    return count;
}

int hexDigitsAt(const View &text, qsizetype i, int most, uint64_t &value)
{
    uchar spare[16];
    const uchar *digits = text.window(i, most, spare);
    int count = 0;
    value = 0;
    for (int digit; count < most && (digit = hexValue(digits[count])) >= 0; ++count)
        value = value << 4 | uint64_t(digit);
    return count;
}

bool hasUpper(const View &text, qsizetype begin, qsizetype end)
{
    for (qsizetype i = begin; i < end; ++i) {
        if (text[i] >= 'A' && text[i] <= 'F')
            return true;
    }
    return false;
}

// "/N" at `i` with N at most `most`: N, else -1.
int prefixAt(const View &text, qsizetype i, int most)
{
    uint64_t value;
    if (text[i] != '/')
        return -1;
    const int count = digitsAt(text, i + 1, 3, value);
    const uchar after = text[i + 1 + count];
    // "/4-8-0-1.example" is no prefix length: the number runs on into a name.
    const bool alone = !wordByte[after] && after != ':' && after != '-' && !(after == '.' && isDigit(text[i + 2 + count]));
    return count > 0 && alone && value <= uint64_t(most) ? int(value) : -1;
}

// A dotted number stands in a version's place: behind a version word (the last part of the word
// before it, "zel.sdk 4.12.0.3", "FirmwareVersion=1.4.22.7") or before a packaging suffix
// ("1.3.239.0-1", "2.1.0.4+dfsg", "1.0.0.2~rc1").
bool versionContext(const View &text, qsizetype begin, qsizetype end)
{
    // A suffix is a Debian revision ("-1", "-1~deb12u1") or a word ("+dfsg", "~rc1"), never
    // something that could be an address of its own ("+b11::a"). Where a name follows, its
    // stand-in will, so the stand-in's bytes count.
    const uchar after = text[end];
    if (after == '+' || after == '~') {
        const Literal *name = text.nameAt(end + 1);
        const auto byte = [&](qsizetype k) {
            if (!name)
                return text[end + 1 + k];
            const qsizetype size = name->replacement.size();
            return k < size ? uchar(name->replacement[k]) : text[end + 1 + name->lower.size() + k - size];
        };
        qsizetype k = 0;
        while (k < 24 && wordByte[byte(k)])
            ++k;
        if ((byte(0) | 0x20) >= 'a' && (byte(0) | 0x20) <= 'z' && byte(k) != ':')
            return true;
    }
    if (after == '-' && isDigit(text[end + 1])) {
        uint64_t number;
        const qsizetype i = end + 1 + digitsAt(text, end + 1, 6, number);
        if (!wordByte[text[i]] && text[i] != ':' && text[i] != '.')
            return true;
    }
    qsizetype i = begin - 1;
    for (int gap = 0; gap < 3 && (text[i] == ' ' || text[i] == ':' || text[i] == '=' || text[i] == '\t'); ++gap)
        --i;
    if (i == begin - 1)
        return false;
    // The word's last letters, lowered, read backwards into the end of `word`.
    char word[24];
    int length = 0;
    while (wordByte[text[i]] && length < int(sizeof word))
        word[sizeof word - 1 - length++] = char(lower(text[i--]));
    const std::string_view last(word + sizeof word - length, size_t(length));
    static constexpr std::string_view endings[] = {"version", "firmware", "driver", "sdk", "revision", "release"};
    static constexpr std::string_view words[] = {"v", "ver", "fw", "rev", "build", "kernel", "package", "pkg"};
    const auto endsWith = [&](std::string_view ending) {
        return last.size() >= ending.size() && last.substr(last.size() - ending.size()) == ending;
    };
    return std::any_of(std::begin(endings), std::end(endings), endsWith) ||
           std::find(std::begin(words), std::end(words), last) != std::end(words);
}

// Four decimal bytes joined by '.' (or by '-' where `separator` says so), parsed by the system.
qsizetype quadAt(const View &text, qsizetype i, char separator, uint32_t &address)
{
    // Most numbers are no address: the separator must follow within three digits.
    int first = 1;
    while (first < 4 && isDigit(text[i + first]))
        ++first;
    if (first == 4 || text[i + first] != uchar(separator))
        return 0;
    char dotted[16];
    int length = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (text[i + length] != uchar(separator))
                return 0;
            dotted[length++] = '.';
        }
        uint64_t value;
        const int count = digitsAt(text, i + length, 3, value);
        if (count == 0)
            return 0;
        for (int k = 0; k < count; ++k, ++length)
            dotted[length] = char(text[i + length]);
    }
    dotted[length] = '\0';
    return parseIpv4(dotted, address) ? length : 0;
}

bool ipv4Dotted(const View &text, qsizetype p, Token &token)
{
    // Not the tail of a longer dotted number, but after an ellipsis ("5...192.168.10.22").
    if (text[p - 1] == '.' && text[p - 2] != '.')
        return false;
    uint32_t address;
    const qsizetype length = quadAt(text, p, '.', address);
    if (!length)
        return false;
    qsizetype end = p + length;
    token = tokenOf(p, end, Ipv4, Notation::Dotted);
    token.value = address;
    if (text[end] == '.' && isDigit(text[end + 1])) {
        // A fifth part is a port where tcpdump writes one ("192.168.10.21.3956 >", "….53:"),
        // else the address is part of a longer number.
        uint64_t port;
        const int count = digitsAt(text, end + 1, 6, port);
        const qsizetype next = end + 1 + count;
        const bool tcpdump = port <= 65535 && ((text[next] == ':' && !wordByte[text[next + 1]]) ||
                                               (text[next] == ' ' && text[next + 1] == '>'));
        token.end = next;
        token.keep = !tcpdump;
        if (tcpdump)
            token.end = end;
        return true;
    }
    if (wordByte[text[end]]) {
        token.end = end;
        while (token.end - p < Scanner::maxSpan && (wordByte[text[token.end]] || text[token.end] == '.'))
            ++token.end;
        token.keep = true;
        return true;
    }
    token.keep = versionContext(text, p, end);
    token.prefix = prefixAt(text, end, 32);
    return true;
}

// An IPv4 address written with dashes as a host name writes it: "ip-192-168-10-21.plant.example",
// "93-143-146-237.adsl.example.net". A dashed run of four numbers elsewhere is not one.
bool ipv4Dashed(const View &text, qsizetype p, Token &token)
{
    if (text[p - 1] == '-' && !((text[p - 2] | 0x20) >= 'a' && (text[p - 2] | 0x20) <= 'z'))
        return false;
    uint32_t address;
    const qsizetype length = quadAt(text, p, '-', address);
    if (!length)
        return false;
    const qsizetype end = p + length;
    const bool inName = text[end] == '.' && (text[end + 1] | 0x20) >= 'a' && (text[end + 1] | 0x20) <= 'z';
    const bool named = text[p - 1] == '-' && !wordByte[text[end]] && text[end] != '-' && text[end] != '.' &&
                       text[end] != ':';
    if (!inName && !named)
        return false;
    token = tokenOf(p, end, Ipv4, Notation::Dashed);
    token.value = address;
    return true;
}

// Whether the colon at `i` follows a group of an address begun earlier: up to four hexadecimal
// digits where something may begin (behind anything but a letter or digit, or behind "%2F"). A
// word's tail ("user1:…") or a name's end is
// none, as their stand-ins' are none.
bool ipv6GroupBefore(const View &text, qsizetype i)
{
    for (int width = 1; width <= 4 && hexValue(text[i - width]) >= 0; ++width) {
        if (text.startsAt(i - width))
            return !text.nameEndsAt(i);
    }
    return false;
}

// An IPv6 address: hexadecimal groups and colons, a dotted IPv4 tail allowed, as the system
// parses it; "[…]:port", "%zone" and "/prefix" behind it stay. A run of letters only counts with
// three groups ("dead:beef::cafe", not "ab::cd"), and "N:N::" closing a field of a colon-separated
// record ("x:1000:1000::/home") is not one.
bool ipv6At(const View &text, qsizetype p, Token &token)
{
    if ((text[p - 1] == ':' && (ipv6GroupBefore(text, p - 1) || text[p - 2] == ':')) ||
        (text[p - 1] == '.' && wordByte[text[p - 2]]))
        return false;
    qsizetype end = p;
    int colons = 0;
    bool doubled = false;
    while (end - p < 46 && (hexValue(text[end]) >= 0 || text[end] == ':' || text[end] == '.')) {
        doubled = doubled || (text[end] == ':' && end > p && text[end - 1] == ':');
        colons += text[end++] == ':';
    }
    if (colons < 2 || wordByte[text[end]])
        return false;
    // Without "::" an address has seven colons, or six before an IPv4 tail; a time of day has two.
    if (colons < 6 && !doubled)
        return false;
    while (end > p && (text[end - 1] == '.' || (text[end - 1] == ':' && text[end - 2] != ':')))
        --end;
    char buffer[48];
    Ipv6Bytes address;
    const auto parse = [&](qsizetype stop) {
        for (qsizetype i = p; i < stop; ++i)
            buffer[i - p] = char(text[i]);
        buffer[stop - p] = '\0';
        return parseIpv6(buffer, address);
    };
    if (!parse(end)) {
        // A port behind the address: after a dotted tail, "::ffff:198.51.100.215:60495"; as
        // tcpdump writes it, "fe80::21b:21ff:fe3c:4d5e.546".
        qsizetype cut = end;
        while (cut > p && text[cut - 1] != ':' && text[cut - 1] != '.')
            --cut;
        uint64_t port;
        const bool isPort = cut > p && digitsAt(text, cut, 5, port) == end - cut && port <= 65535;
        if (!isPort || !parse(cut - 1))
            return false;
        bool dotted = false;
        for (qsizetype i = p; i < cut - 1; ++i)
            dotted = dotted || text[i] == '.';
        if (dotted != (text[cut - 1] == ':'))
            return false;
        end = cut - 1;
    }
    bool digit = false;
    int groups = 0;
    for (qsizetype i = p; i < end; ++i) {
        digit = digit || isDigit(text[i]);
        groups += text[i] != ':' && (i == p || text[i - 1] == ':');
    }
    if (!digit && groups < 3)
        return false;
    if (text[p - 1] == ':' && text[end - 1] == ':' && text[end - 2] == ':')
        return false;
    // An IPv4 address carried in an IPv6 one ("::ffff:192.0.2.1") counts as what it is.
    const bool carried = std::all_of(address.begin(), address.begin() + 10, [](uint8_t b) { return b == 0; }) &&
                         ((address[10] == 0xFF && address[11] == 0xFF) || (address[10] == 0 && address[11] == 0));
    token = tokenOf(p, end, carried ? Ipv4 : Ipv6, Notation::Text6);
    token.v6 = address;
    token.dotted = std::find(text.bytes + p, text.bytes + end, '.') != text.bytes + end;
    token.upper = hasUpper(text, p, end);
    token.prefix = prefixAt(text, end, 128);
    return true;
}

// Whether the separator at `i` follows a byte group of one or two digits that is part of a run
// of such groups: what comes after it continues a run begun earlier. The tail of a word
// ("user1-2c-…"), of a dotted number ("…2.1-0-1-c…") or of an IPv6 address ("…:0:2-00-01-…") is no
// such group: a stand-in may end differently from its original. Nor is the end of a name
// ("JKOWAL~1:…"), whose stand-in ends in a word.
bool groupBefore(const View &text, qsizetype i)
{
    int width = 0;
    while (width < 3 && hexValue(text[i - 1 - width]) >= 0)
        ++width;
    const uchar before = text[i - 1 - width];
    const bool runStart = !wordByte[before] && before != '.' && before != ':' && before != '-';
    return width > 0 && width <= 2 && (before == text[i] || runStart) && !text.nameEndsAt(i);
}

// The width of the byte group at `j`: a word of hexadecimal digits alone; 0 for anything else.
// Where a name begins, its stand-in will, so the stand-in's beginning counts ("dc01" is none as
// "redacted-host1" is none; "C:\Users\…" begins with one either way).
int groupWidthAt(const View &text, qsizetype j)
{
    int width = 0;
    if (const Literal *name = text.nameAt(j)) {
        const QByteArray &standIn = name->replacement;
        while (width < std::min<qsizetype>(standIn.size(), 14) && hexValue(uchar(standIn[width])) >= 0)
            ++width;
        const uchar after = width < standIn.size() ? uchar(standIn[width]) : text[j + name->lower.size()];
        return wordByte[after] ? 0 : width;
    }
    while (width < 14 && hexValue(text[j + width]) >= 0)
        ++width;
    // Nor is a dotted number's first part ("…:2.0.0.0"): an IPv4 address's stand-in begins with
    // three digits. A name behind the dot counts by its stand-in's first byte, as above.
    if (text[j + width] != '.')
        return wordByte[text[j + width]] ? 0 : width;
    const Literal *name = text.nameAt(j + width + 1);
    return isDigit(name ? uchar(name->replacement[0]) : text[j + width + 1]) ? 0 : width;
}

// A MAC address in groups: six bytes joined by ':' or '-', each of two digits or, with leading
// zeros dropped, of one ("0:1b:21:3c:4d:5e"). Found at the tail of a DHCPv6 client identifier
// ("00-01-00-01-" four time bytes, or "00-03-00-01-", then the address) and behind an ARP hardware
// type ("1:08:00:2b:a1:11:31"). Any other longer run of byte groups is not one.
bool macGroups(const View &text, qsizetype p, Token &token)
{
    const char separator = char(text[p + 1] == ':' || text[p + 1] == '-' ? text[p + 1] : text[p + 2]);
    if ((separator != ':' && separator != '-') || ((text[p - 1] == ':' || text[p - 1] == '-') && groupBefore(text, p - 1)) ||
        (text[p - 1] == '.' && wordByte[text[p - 2]]))
        return false;
    struct Group {
        qsizetype at;
        int width;
        uint64_t value;
    };
    std::array<Group, 14> group;
    size_t count = 0;
    qsizetype i = p;
    for (;;) {
        uint64_t value;
        const int width = hexDigitsAt(text, i, 3, value);
        if (width == 0 || width > 2)
            return false;
        group[count++] = {i, width, value};
        i += width;
        if (text[i] != uchar(separator) || count == group.size() || groupWidthAt(text, i + 1) == 0)
            break;
        ++i;
    }
    // Behind it, a further group makes a longer run; a word ("…:5e:Anna", "…-5e-abcd") does not.
    // Nor does an IPv6 address, which may be a run's tail ("…-22-000::2") and whose stand-in may
    // begin with "::": either way it is no MAC address's neighbour.
    const bool separated = text[i] == ':' || text[i] == '-';
    const int nextWidth = separated ? groupWidthAt(text, i + 1) : 0;
    uint64_t ahead;
    const int aheadWidth = separated ? hexDigitsAt(text, i + 1, 5, ahead) : 0;
    const bool ipv6Ahead = separated && aheadWidth <= 4 && text[i + 1 + aheadWidth] == ':';
    if (wordByte[text[i]] || (nextWidth > 0 && nextWidth <= 2) || ipv6Ahead || count < 6)
        return false;
    const auto bytes = [&](size_t k) { return group[k].value; };
    size_t first;
    if (count == 6)
        first = 0;
    else if (count == 7 && group[0].width == 1 && bytes(0) == 1)
        first = 1;
    else if ((count == 14 && bytes(0) == 0 && bytes(1) == 1 && bytes(2) == 0 && bytes(3) == 1) ||
             (count == 10 && bytes(0) == 0 && bytes(1) == 3 && bytes(2) == 0 && bytes(3) == 1))
        first = count - 6;
    else if (separator == ':' && count == 8)
        return false; // perhaps an IPv6 address of short groups
    else {
        token = tokenOf(p, i, Mac, Notation::Groups);
        token.keep = true;
        return true;
    }
    int wide = 0;
    for (size_t k = first; k < first + 6; ++k)
        wide += group[k].width == 2;
    if (wide < 2)
        return false;
    token = tokenOf(group[first].at, i, Mac, Notation::Groups);
    for (size_t k = first; k < first + 6; ++k)
        token.value = token.value << 8 | bytes(k);
    token.separator = separator;
    for (size_t k = first; k < first + 6; ++k)
        token.narrow = uint8_t(token.narrow << 1 | (group[k].width == 1));
    token.upper = hasUpper(text, token.begin, i);
    return true;
}

// "001b.213c.4d5e": three groups of four digits.
bool macQuads(const View &text, qsizetype p, Token &token)
{
    uint64_t address = 0;
    qsizetype i = p;
    for (int part = 0; part < 3; ++part) {
        if (part > 0 && text[i++] != '.')
            return false;
        uint64_t value;
        if (hexDigitsAt(text, i, 5, value) != 4)
            return false;
        address = address << 16 | value;
        i += 4;
    }
    if (wordByte[text[i]] || (text[i] == '.' && wordByte[text[i + 1]]) || text[p - 1] == '.')
        return false;
    token = tokenOf(p, i, Mac, Notation::Quads);
    token.value = address;
    token.upper = hasUpper(text, p, i);
    return true;
}

// Integer forms: "0x" and eight digits (an IPv4 address, or a MAC address's lower four bytes),
// twelve digits with or without "0x" (a MAC address), a decimal number (an IPv4 address). Each
// only for an address the mapper knows; any other number stays what it is.
bool integerAt(const View &text, qsizetype p, Mapper &mapper, Token &token)
{
    if (text[p - 1] == '.' || text[p - 1] == ':')
        return false;
    const bool lead = text[p] == '0' && (text[p + 1] | 0x20) == 'x';
    const qsizetype digits = p + (lead ? 2 : 0);
    uint64_t value;
    const int count = hexDigitsAt(text, digits, 13, value);
    if (wordByte[text[digits + count]] || text[digits + count] == '.')
        return false;
    token = tokenOf(p, digits + count, Ipv4, Notation::Hex);
    token.upper = hasUpper(text, digits, digits + count);
    token.lead = lead ? char(text[p + 1]) : 0;
    token.value = value;
    if (count == 12 && mapper.knownMac(value)) {
        token.kind = Mac;
        return true;
    }
    if (count == 8 && lead) {
        uint32_t replaced;
        if (mapper.knownIpv4(uint32_t(value)))
            return true;
        token.kind = Mac;
        token.notation = Notation::Low;
        return mapper.macLow(uint32_t(value), replaced);
    }
    uint64_t number;
    const int decimals = digitsAt(text, p, 11, number);
    if (lead || decimals != count || decimals < 7 || decimals > 10 || number > 0xFFFFFFFFu)
        return false;
    token.notation = Notation::Decimal;
    token.value = number;
    return mapper.knownIpv4(uint32_t(number));
}

// Appends `value` in hexadecimal, at least `digits` long.
void appendHex(QByteArray &out, uint64_t value, int digits, bool upper)
{
    const char *const set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    while (digits < 16 && value >> (4 * digits))
        ++digits;
    char text[16];
    for (int i = digits - 1; i >= 0; --i, value >>= 4)
        text[i] = set[value & 0xF];
    out.append(text, digits);
}

// The system's printer goes through formatted output, many times the scan's cost per byte, and
// the same stand-ins recur all through a log: their texts are kept, per thread, in a table of
// 4096 places chosen by a hash of the address.
template <typename Address, typename Print>
QByteArray printed(const Address &address, uint64_t hash, Print print)
{
    struct Entry {
        Address address;
        QByteArray text;
    };
    thread_local std::array<Entry, 4096> cache;
    Entry &entry = cache[(hash * 0x9E3779B97F4A7C15u) >> 52];
    if (entry.text.isEmpty() || entry.address != address)
        entry = {address, print(address)};
    return entry.text;
}

// Appends the replacement written in the token's notation.
void write(const Token &token, uint64_t value, const Ipv6Bytes &v6, QByteArray &out)
{
    if (token.lead)
        out.append('0').append(token.lead);
    switch (token.notation) {
    case Notation::Dotted:
        out += printed(uint32_t(value), value, ipv4Text);
        break;
    case Notation::Dashed:
        out += printed(uint32_t(value), value, ipv4Text).replace('.', '-');
        break;
    case Notation::Hex:
        appendHex(out, value, token.kind == Mac ? 12 : 8, token.upper);
        break;
    case Notation::Low:
        appendHex(out, value, 8, token.upper);
        break;
    case Notation::Decimal:
        out += QByteArray::number(qulonglong(value));
        break;
    case Notation::Text6: {
        const auto print = [](const std::pair<Ipv6Bytes, bool> &key) {
            return key.second ? ipv6TextDotted(key.first) : ipv6Text(key.first);
        };
        const QByteArray text = printed(std::pair(v6, token.dotted), high(v6) * 31 + low(v6) * 2 + token.dotted, print);
        out += token.upper ? text.toUpper() : text;
        break;
    }
    case Notation::Groups:
        for (int i = 5; i >= 0; --i) {
            appendHex(out, value >> (8 * i) & 0xFF, token.narrow >> i & 1 ? 1 : 2, token.upper);
            if (i > 0)
                out += token.separator;
        }
        break;
    case Notation::Quads:
        for (int i = 2; i >= 0; --i) {
            appendHex(out, value >> (16 * i) & 0xFFFF, 4, token.upper);
            if (i > 0)
                out += '.';
        }
        break;
    }
}

// The replacement of the token, or false where it stays.
bool replacement(const Token &token, Mapper &mapper, QByteArray &out)
{
    uint64_t value = 0;
    Ipv6Bytes v6{};
    const bool ordinary = token.notation != Notation::Hex && token.notation != Notation::Decimal;
    if (token.notation == Notation::Text6) {
        if (!mapper.ipv6(token.v6, token.prefix, v6))
            return false;
    } else if (token.kind == Ipv4) {
        uint32_t replaced;
        if (!mapper.ipv4(uint32_t(token.value), token.prefix, ordinary, replaced))
            return false;
        value = replaced;
    } else if (token.kind == Mac) {
        if (token.notation == Notation::Low) {
            uint32_t replaced;
            if (!mapper.macLow(uint32_t(token.value), replaced))
                return false;
            value = replaced;
        } else if (!mapper.mac(token.value, ordinary, value)) {
            return false;
        }
    }
    write(token, value, v6, out);
    return true;
}

// The address that begins at `p`, by the first classifier that takes it.
bool addressAt(const View &text, qsizetype p, Mapper &mapper, Token &token)
{
    const uchar c = text[p];
    if (hexValue(c) < 0 && c != ':')
        return false;
    // "%2F" and "%5C" are separators, whatever follows them: no address begins with their digits.
    const uchar second = text[p + 1] | 0x20;
    if (text[p - 1] == '%' && ((c == '2' && second == 'f') || (c == '5' && second == 'c')))
        return false;
    // Every notation but "0x…" and "::…" begins with at most 13 hexadecimal digits and
    // something other than a letter or digit after them: most words end here ("camera", "frame").
    uint64_t value;
    const int run = hexDigitsAt(text, p, 14, value);
    const bool lead = c == '0' && (text[p + 1] | 0x20) == 'x';
    if (run > 0 && !lead && (run == 14 || wordByte[text[p + run]]))
        return false;
    // What the first group and the byte after it allow: byte groups of one or two digits and
    // their separator, an IPv6 address's group of up to four and a colon (or its "::"), four
    // digits and a dot, an IPv4 address's up to three digits and its separator, and the integer
    // forms' lengths.
    const uchar after = text[p + run];
    const bool quad = run <= 3 && isDigit(c);
    return (run <= 2 && (after == ':' || after == '-') && macGroups(text, p, token)) ||
           (run <= 4 && after == ':' && ipv6At(text, p, token)) ||
           (run == 4 && after == '.' && macQuads(text, p, token)) ||
           (quad && after == '.' && ipv4Dotted(text, p, token)) || (quad && after == '-' && ipv4Dashed(text, p, token)) ||
           ((lead || (run >= 7 && run <= 12)) && integerAt(text, p, mapper, token));
}

bool View::nameEndsAt(qsizetype i) const
{
    if (size_t(i - 1 - low) >= span || !names.mayEndName(uchar(bytes[i - 1])))
        return false;
    for (qsizetype k = std::max(low, i - names.longestName()); k < i; ++k) {
        const Literal *name = startsHere(bytes, k, low) ? names.literal(bytes, low + qsizetype(span), k) : nullptr;
        if (name && k + name->lower.size() == i)
            return true;
    }
    return false;
}

} // namespace

Scanner::Scanner(std::vector<Literal> names) : literals(std::move(names))
{
    std::stable_sort(literals.begin(), literals.end(),
                     [](const Literal &a, const Literal &b) { return a.lower.size() > b.lower.size(); });
    for (const Literal &name : literals) {
        byFirstByte[uchar(name.lower[0])].push_back(&name);
        const uchar last = uchar(name.lower.back());
        lastBytes[last] = lastBytes[last >= 'a' && last <= 'z' ? last - 0x20 : last] = true;
        longest = std::max(longest, name.lower.size());
    }
}

const Literal *Scanner::literal(const char *text, qsizetype size, qsizetype index) const
{
    for (const Literal *name : byFirstByte[lower(uchar(text[index]))]) {
        const qsizetype length = name->lower.size();
        if (index + length > size || (index + length < size && wordByte[uchar(text[index + length])]))
            continue;
        qsizetype i = 1;
        while (i < length && lower(uchar(text[index + i])) == uchar(name->lower[i]))
            ++i;
        if (i == length)
            return name;
    }
    return nullptr;
}

qsizetype Scanner::run(const QByteArray &text, qsizetype from, bool atEnd, QByteArray &out, Counts &counts,
                       Mapper &mapper) const
{
    const char *bytes = text.constData();
    const qsizetype size = text.size();
    // A classifier reads up to `maxSpan` bytes ahead, and may look for a name there.
    const qsizetype lookahead = maxSpan + longest + 2;
    const qsizetype limit = atEnd ? size : size - lookahead;
    const qsizetype low = std::max<qsizetype>(from - context, 0);
    qsizetype index = from;
    qsizetype copied = from;
    Token token;
    while (index < limit) {
        if (!startsHere(bytes, index, low)) {
            // Within a word only "%2F" or "%5C" lets something begin, and the byte before this
            // one is a letter or digit already: only the next place can follow one.
            if (afterEncodedSeparator(bytes, index + 1, low)) {
                ++index;
                continue;
            }
            while (index < limit && wordByte[uchar(bytes[index])])
                ++index;
            index = std::min(index + 1, limit);
            continue;
        }
        // Spaces and punctuation begin nothing, but for the names that begin with them ("/home/…").
        const uchar c = uchar(bytes[index]);
        if (!wordByte[c] && c != ':' && byFirstByte[c].empty()) {
            ++index;
            continue;
        }
        const View view(bytes, std::max<qsizetype>(index - context, low), size, *this);
        qsizetype used = 0;
        if (addressAt(view, index, mapper, token)) {
            if (!token.keep) {
                const qsizetype mark = out.size();
                out.append(bytes + copied, token.begin - copied);
                if (replacement(token, mapper, out)) {
                    ++counts[token.kind];
                    copied = token.end;
                } else {
                    out.resize(mark);
                }
            }
            index = std::max(token.end, index + 1);
            continue;
        }
        if (const Literal *name = byFirstByte[lower(c)].empty() ? nullptr : literal(bytes, size, index)) {
            out.append(bytes + copied, index - copied);
            out += name->replacement;
            ++counts[name->kind];
            used = name->lower.size();
            copied = index + used;
        }
        index += std::max<qsizetype>(used, 1);
    }
    const qsizetype end = std::max(index, limit);
    out.append(bytes + copied, std::max<qsizetype>(end - copied, 0));
    return std::max(end, copied);
}

} // namespace redaction
