#pragma once
// The system's file dialogs: open one file or several, save one. Tests answer it
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
// A file to write, proposed as `suggested`; empty when the user cancels.
QString GetSaveFileName(QWidget* parent, const QString& filter, const QString& suggested);

// While set, no dialog is shown: `answer` receives the filter and whether
// several files may be chosen (false for a save), and returns the chosen
// paths (none: cancel).
void SetFileDialogAnswer(std::function<QStringList(const QString& filter, bool multiple)> answer);

} // namespace orv::ui
