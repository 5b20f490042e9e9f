#pragma once
// The names that tell whose machine a support archive comes from, which redaction replaces.
// Which they are is the platform's to say (identity_posix.cpp, identity_win.cpp).

#include <QString>
#include <QStringList>

struct Identity {
    QStringList hostNames; // the machine's own names, without a domain
    QStringList domains;   // the domains it belongs to
    QStringList users;     // the login names of the people who use it
    QStringList homes;     // their home folders, as the system writes them
};

Identity machineIdentity();
