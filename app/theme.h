#pragma once

#include <QString>

// The dark style sheet with its accent placeholders filled in ("@accent_hex" and
// "@accent_rgb", case-sensitive, every occurrence). Without `svgImages` (a Qt that cannot read
// SVG, as our Windows build) the white icons are taken from their PNG renderings instead.
QString themedStyleSheet(QString sheet, bool svgImages = true);
