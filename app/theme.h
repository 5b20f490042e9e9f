#pragma once

#include <QString>

// The dark style sheet with its accent placeholders filled in ("@accent_hex" and
// "@accent_rgb", case-sensitive, every occurrence).
QString themedStyleSheet(QString sheet);
