#pragma once
// The desktop's file manager, asked to show the log folder or one file in it.

#include <QString>

// Opens `folder` in the file manager; false when none could be started.
bool openFolder(const QString &folder);

// Opens the file manager at the folder of `path` with that file selected, or, where no file
// manager takes such a request, at the folder alone; false when neither could be done.
bool showInFolder(const QString &path);
