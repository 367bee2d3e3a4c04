// The file dialogs as the commands use them: Qt's own dialog, prepared afresh for every use, large
// enough to show a published tile's name, size and date whole.
#pragma once

#include <QString>
#include <QStringList>

class QFileDialog;

namespace elevara::app {

// Title, filter and options of the open dialog: it accepts the typed name of a file that does
// not exist, as the commands report a missing input themselves.
void PrepareOpenDialog(QFileDialog& dialog, const QString& title, const QStringList& filters);
// The save dialog replaces an existing file without asking.
void PrepareSaveDialog(QFileDialog& dialog, const QString& title);

// Opens the dialog in `folder` with `name` in its name field; an empty folder keeps the one the
// dialog shows, an empty name leaves the field empty.
void OfferPath(QFileDialog& dialog, const QString& folder, const QString& name);

// A closed dialog can leave the completion list of its name field open above the window; it
// must not stay there while the command runs.
void CloseCompletionLists(QFileDialog& dialog);

}  // namespace elevara::app
