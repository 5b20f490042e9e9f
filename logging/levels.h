#pragma once

#include <QString>

// The mask text of the logging level at the given combo index ("Error", "Standard", "High",
// "Full"); empty for any other index.
QString levelMask(int index);
