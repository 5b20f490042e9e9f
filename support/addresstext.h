#pragma once
// Address text through the system's own parser and printer (inet_pton, inet_ntop), so that every
// form the system accepts is read alike and every stand-in is written as the system writes it.
// Only the header that declares them differs between the platforms.

#include <QByteArray>

#include <array>
#include <cstdint>

using Ipv6Bytes = std::array<uint8_t, 16>;

// An IPv6 address's network half (its first eight bytes) and its interface half, as numbers.
inline uint64_t high(const Ipv6Bytes &a)
{
    uint64_t v = 0;
    for (size_t i = 0; i < 8; ++i)
        v = v << 8 | a[i];
    return v;
}

inline uint64_t low(const Ipv6Bytes &a)
{
    uint64_t v = 0;
    for (size_t i = 8; i < 16; ++i)
        v = v << 8 | a[i];
    return v;
}

// The address of a network half and an interface half.
inline Ipv6Bytes joined(uint64_t network, uint64_t interface)
{
    Ipv6Bytes a;
    for (size_t i = 0; i < 8; ++i) {
        a[i] = uint8_t(network >> (56 - 8 * i));
        a[8 + i] = uint8_t(interface >> (56 - 8 * i));
    }
    return a;
}

// Whether `text` (NUL-terminated) is a dotted IPv4 address; its value, the first byte highest.
bool parseIpv4(const char *text, uint32_t &address);
// Whether `text` (NUL-terminated) is an IPv6 address in any of its written forms.
bool parseIpv6(const char *text, Ipv6Bytes &address);
QByteArray ipv4Text(uint32_t address);
// The shortest form, lower case, an IPv4-mapped address with its dotted tail.
QByteArray ipv6Text(const Ipv6Bytes &address);
// The same with its last four bytes dotted ("fe80::0.0.1.3"), as an original may write them: a
// port behind such an address (":53") would otherwise read as one more group.
QByteArray ipv6TextDotted(const Ipv6Bytes &address);
