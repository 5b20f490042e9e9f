#pragma once

#include <QString>

// The mask text of the logging level at the given combo index ("Error", "Standard", "High",
// "Full"); empty for any other index.
QString levelMask(int index);

// The name of the level at the given combo index, untranslated ("Dialog" context); empty for any
// other index.
const char *levelName(int index);

// The combo index of a level mask, whatever the letter case of its hex digits; -1 for a mask
// of no level.
int levelIndex(const QString &mask);
