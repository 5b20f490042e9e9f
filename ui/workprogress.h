#pragma once
// Long work of the dialog, run off the user-interface thread behind a progress dialog.

#include "archivebuild.h"

#include <atomic>
#include <functional>

class QWidget;

using ProgressWork =
    std::function<BuildOutcome(const BuildProgressCallback &progress, const std::atomic<bool> &cancel)>;

// The bar's value for the bytes done, out of `steps`.
int progressValue(const BuildProgress &now, int steps);
constexpr int progressSteps = 1000;

// Runs `work` on a worker thread and returns its result once it has ended. Meanwhile `window`
// keeps painting but shows the wait cursor and takes no input, so nothing can start twice or
// change under the work; a modal progress dialog over it appears when the work takes longer
// than about half a second. It shows the entry being packed and the bytes done, and its Cancel
// button (or Escape) raises the flag handed to `work`. The window ends with the arrow cursor.
BuildOutcome runWithProgress(QWidget *window, const ProgressWork &work);
