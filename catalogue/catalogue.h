#pragma once
// The components whose logging the dialog switches, and the rule that turns their file
// names into paths inside the log folder.

#include <QString>
#include <QStringList>
#include <QVector>

struct ComponentEntry {
    QString key;
    QStringList logNames;
    QStringList paramNames;
};

// The eleven components in the order the dialog inserts them: top-level items 0 to 3, then
// the seven children of the interface group.
const QVector<ComponentEntry> &catalogueEntries();

// folder + name + ".log" for every log name, in order. The folder ends with "/".
QStringList logPaths(const QString &logPath, const ComponentEntry &entry);
// folder + name + ".ini" for every parameter name, in order.
QStringList paramPaths(const QString &paramPath, const ComponentEntry &entry);

// True while at least one of the component's log files exists as a regular file. A link (even
// a dangling one), pipe or folder of a log's name is no log.
bool isLogging(const QString &logPath, const ComponentEntry &entry);
