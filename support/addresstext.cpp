#include "addresstext.h"

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
