#pragma once
// The system's open-file dialog, for one file or several. Tests answer it
// instead of a person and see the filter each dialog would have offered.

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace orv::ui {

// One file to open; empty when the user cancels.
QString GetOpenFileName(QWidget* parent, const QString& filter);
// Several files in the order the dialog reports them; empty when cancelled.
QStringList GetOpenFileNames(QWidget* parent, const QString& filter);

// While set, no dialog is shown: `answer` receives the filter and whether
// several files may be chosen, and returns the chosen paths (none: cancel).
void SetFileDialogAnswer(std::function<QStringList(const QString& filter, bool multiple)> answer);

} // namespace orv::ui
