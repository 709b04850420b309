#pragma once
#include <QString>
#include <functional>

class QWidget;

// Runs work on a worker thread and returns when it is done. Meanwhile the windows keep
// painting and user input waits (so nothing can change or close what the work reads),
// except for Cancel: once the work takes longer than a moment, the status bar of parent's
// main window (a small dialog without one) shows the label, a busy bar and a Cancel button;
// the button or Escape cancels. Work that has begun cannot be cut short: a cancel lets it
// finish, and the caller drops its result. Returns false when cancelled.
bool runInBackground(QWidget *parent, const QString &label, const std::function<void()> &work);

#include "io/ExportResult.h"

#include <string>
#include <vector>

// Writes a file off the GUI thread: write(path) makes a complete file at a path beside
// target (same folder and suffix), which then replaces target in one rename. A cancel or a
// failure removes the partial file and leaves target as it was. `cancelled` tells which.
// write must not touch GL or widgets: draw what it needs first. The target is checked as
// every write checks it before anything runs: never one of `inputs`, only a regular file.
ExportResult writeInBackground(QWidget *parent, const QString &label, const std::string &target,
                               const std::vector<std::string> &inputs,
                               const std::function<ExportResult(const std::string &)> &write,
                               bool &cancelled);
