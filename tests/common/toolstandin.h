#pragma once

#include <QString>

// Writes into `folder` a stand-in for the support archive's network tool that appends a line
// to `runsFile` each time it starts and then waits half a minute, unless it is killed.
// Returns false where the platform has no such stand-in.
bool writeWaitingNetworkTool(const QString &folder, const QString &runsFile);
