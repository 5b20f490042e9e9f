#pragma once
// The two system tools that describe the machine in the support archive, and the rules for
// running them. Which tools these are is the platform's choice (systemtools_win.cpp,
// systemtools_posix.cpp).

#include <QDateTime>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <optional>

struct SystemTool {
    QString program;    // found by the system's program search
    QString arguments;  // separated by commas; empty for none
    QString outputName; // the output file in the log folder and its entry in the archive
    bool capture;       // whether the tool's standard output is written into the output file
};

inline const QString reportName = QStringLiteral("conflicts.nfo");
inline const QString networkName = QStringLiteral("network.txt");

// The tool that writes the system report `reportName` into the log folder (which ends with
// "/"), or none where the tool cannot be told that folder.
std::optional<SystemTool> systemReportTool(const QString &logPath);

// The tool whose output `networkName` lists the network configuration of every interface.
SystemTool networkTool();

// The output file's name: `outputName`, or the program followed by ".txt" when it is empty.
QString toolOutputName(const QString &program, const QString &outputName);

// The argument string split at every comma, empty parts kept; an empty string gives none.
QStringList toolArguments(const QString &arguments);

// Whether a tool's run counts: it started (`finished` is what waiting for it returned) and
// ended normally with exit code 0. Some platforms report exit code 0 for a tool that could
// not be started, and a crash carries no exit code of the tool's own, so the code alone
// would count a stale output file from an earlier run as fresh.
bool toolSucceeded(bool finished, QProcess::ExitStatus status, int exitCode);

// True when the report is a file whose metadata changed less than two hours before `now`. A
// change time in the future counts as young.
bool reportIsFresh(const QString &reportPath, const QDateTime &now);
