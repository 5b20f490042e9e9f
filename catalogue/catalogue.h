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

// The tree's text of the component at `index` of catalogueEntries(), untranslated: the dialog
// and the command line translate it in the "Dialog" context. The interface group's own text is
// interfaceGroupText.
const char *componentText(int index);
extern const char *const interfaceGroupText;

// The index in catalogueEntries() of the component whose key or tree text (in English or in the
// user's language) is `name`, ignoring letter case; -1 when there is none.
int findComponent(const QString &name);

// folder + name + ".log" for every log name, in order. The folder ends with "/".
QStringList logPaths(const QString &logPath, const ComponentEntry &entry);
// folder + name + ".ini" for every parameter name, in order.
QStringList paramPaths(const QString &paramPath, const ComponentEntry &entry);

class HeldFolder;

// True while at least one of the component's log files exists as a regular file in the held log
// folder (none while there is no such folder). A link (even a dangling one), pipe or folder of
// a log's name is no log.
bool isLogging(const HeldFolder *logFolder, const ComponentEntry &entry);
