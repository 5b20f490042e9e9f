#pragma once
// The two system tools that describe the machine in the support archive, and the rules for
// running them. Which tools these are is the platform's choice (systemtools_win.cpp,
// systemtools_posix.cpp).

#include "archive.h"

#include <QDateTime>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <atomic>
#include <optional>

struct SystemTool {
    QString program;    // the whole path (on Windows always: a bare name would be looked for in
                        // the current folder first); else found by the system's program search
    QString arguments;  // separated by commas; empty for none. A tool that writes its output
                        // itself finds "%1" among them replaced by the path to write
    QString outputName; // the output file in the log folder and its entry in the archive
    bool capture;       // whether the tool's standard output is written into the output file
};

inline const QString reportName = QStringLiteral("conflicts.nfo");
inline const QString networkName = QStringLiteral("network.txt");

// The tool that writes the system report `reportName`.
SystemTool systemReportTool();

// The path of the helper program `name` that comes with this program (POSIX): in the private
// helper folder of an installation, relative to the program's folder `applicationDir`; else
// beside the program, as in a build tree; else on PATH. The bare name when none holds it.
QString findHelper(const QString &name, const QString &applicationDir);

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

// The tool's argument list: its argument string split at every comma, then "%1" in each part
// replaced by `outputPath`, so that a comma in the path does not cut it.
QStringList toolArguments(const SystemTool &tool, const QString &outputPath);

// What became of one tool's run, for the support archive's manifest.
struct ToolRecord {
    QString command;  // the program and its arguments, as started
    QString entry;    // its output's entry name
    QString outcome;  // "done", "reused" (a fresh report), "not started", "crashed", "failed",
                      // "cancelled" or "not written"
    std::optional<int> exitCode; // when it ended on its own
    qint64 milliseconds = 0;
};

// Runs the tool and waits for it, without time-out unless `cancel` is raised: that kills the
// tool and fails its run (and a flag raised before starts none). Its output goes into a new
// file of the log folder `folder` under a name of its own (see PendingFile): its standard
// output when `capture` is set, else a copy of what the tool writes itself into a temporary
// folder of the user's own (the path "%1" stands for). Only when the tool
// succeeded does that file take the place of the output file, in one step; a link there is
// replaced itself, never written through, and a folder, pipe or device of that name stays as it
// is. Otherwise the new file is removed and an earlier output stays as it was, so a failed run
// never leaves an output that looks renewed. Returns the output, open, when it was renewed;
// null otherwise. Touches no widget, so any thread may call it. The run goes into `record`.
SharedFile captureToolOutput(const SystemTool &tool, const HeldFolder &folder, const std::atomic<bool> &cancel,
                             ToolRecord &record);

// Opens the report `reportName` of the held log folder for packing when it is fresh: a regular file with one name (not a link)
// that the running user made and nobody else may write, whose metadata changed less than two
// hours before `now`. A change time in the future counts as young. Null otherwise, so that the
// report is made afresh.
SharedFile freshReport(const HeldFolder &folder, const QString &reportName, const QDateTime &now);

// The report step, then the network step: reuses a fresh report or renews it, captures the
// network configuration, and returns the archive entries of the files that are ready, in
// that order. Each tool's run is appended to `records`.
QVector<ArchiveEntry> systemToolEntries(const std::shared_ptr<const HeldFolder> &folder,
                                        const std::atomic<bool> &cancel, QVector<ToolRecord> &records);
