#pragma once
// What tells whose machine a support archive comes from, which redaction replaces, learned whole
// before the first entry is packed. Which it is is the platform's to say (identity_posix.cpp,
// identity_win.cpp).

#include <QString>
#include <QStringList>

struct Identity {
    QStringList hostNames; // the machine's own names, without a domain
    QStringList domains;   // the domains it belongs to, each parent down to the registered name
    QStringList users;     // the login names of the people who use it
    QStringList homes;     // their home folders, as the system writes them
    QStringList fullNames; // their names as people
    QStringList addresses; // the machine's own IPv4 and IPv6 addresses
    QStringList macs;      // its network interfaces' MAC addresses, "00:1b:21:3c:4d:5e"
};

Identity machineIdentity();

// `domain` and each parent domain of it down to the registered name ("plant.company.example",
// "company.example"; two labels, three under a country's "co", "com"... level).
QStringList domainAndParents(const QString &domain);
