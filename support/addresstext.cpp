#include "addresstext.h"

#include <algorithm>

// The one difference between the platforms is where the functions are declared.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#endif

bool parseIpv4(const char *text, uint32_t &address)
{
    in_addr parsed;
    if (inet_pton(AF_INET, text, &parsed) != 1)
        return false;
    address = ntohl(parsed.s_addr);
    return true;
}

bool parseIpv6(const char *text, Ipv6Bytes &address)
{
    return inet_pton(AF_INET6, text, address.data()) == 1;
}

QByteArray ipv4Text(uint32_t address)
{
    in_addr value;
    value.s_addr = htonl(address);
    char text[INET_ADDRSTRLEN];
    return inet_ntop(AF_INET, &value, text, sizeof text) ? QByteArray(text) : QByteArray();
}

QByteArray ipv6Text(const Ipv6Bytes &address)
{
    char text[INET6_ADDRSTRLEN];
    return inet_ntop(AF_INET6, address.data(), text, sizeof text) ? QByteArray(text) : QByteArray();
}

QByteArray ipv6TextDotted(const Ipv6Bytes &address)
{
    QByteArray text = ipv6Text(address);
    if (text.contains('.'))
        return text;
    // With the last four bytes all ones, the printer ends on "ffff:ffff" (it prints a dotted
    // tail only for the forms that carry an IPv4 address, which are dotted already).
    Ipv6Bytes marked = address;
    std::fill(marked.begin() + 12, marked.end(), uint8_t(0xFF));
    text = ipv6Text(marked);
    text.chop(9);
    return text + ipv4Text(uint32_t(address[12]) << 24 | uint32_t(address[13]) << 16 | uint32_t(address[14]) << 8 |
                           address[15]);
}
