#pragma once
// Address text through the system's own parser and printer (inet_pton, inet_ntop), so that every
// form the system accepts is read alike and every stand-in is written as the system writes it.
// Only the header that declares them differs between the platforms.

#include <QByteArray>

#include <array>
#include <cstdint>

using Ipv6Bytes = std::array<uint8_t, 16>;

// Whether `text` (NUL-terminated) is a dotted IPv4 address; its value, the first byte highest.
bool parseIpv4(const char *text, uint32_t &address);
// Whether `text` (NUL-terminated) is an IPv6 address in any of its written forms.
bool parseIpv6(const char *text, Ipv6Bytes &address);
QByteArray ipv4Text(uint32_t address);
// The shortest form, lower case, an IPv4-mapped address with its dotted tail.
QByteArray ipv6Text(const Ipv6Bytes &address);
