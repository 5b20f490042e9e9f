#pragma once

#include <QString>

// Writes into `folder` a stand-in for the support archive's system tools that appends a line
// to `runsFile` each time it starts and then waits half a minute, unless it is killed.
// Returns false where the platform has no such stand-in.
bool writeWaitingSystemTool(const QString &folder, const QString &runsFile);
