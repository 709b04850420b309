#pragma once
#include <QString>
#include <functional>

class QWidget;

// Runs work on a worker thread and returns when it is done. Meanwhile the windows keep
// painting, user input waits (so nothing can change or close what the work reads), and a
// busy dialog with the label shows once the work takes longer than a moment.
void runInBackground(QWidget *parent, const QString &label, const std::function<void()> &work);
