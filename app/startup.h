// What the application is given before its window opens: Qt's own texts in Japanese, and no
// settings that Qt would otherwise keep between runs.
#pragma once

class QCoreApplication;

namespace elevara::app {

// Both of the below; main(), the documentation's pictures and the window tests start with it.
void PrepareApplication(QCoreApplication& application);

// Loads Qt's Japanese translation, so the file dialogs' and boxes' own labels are Japanese, and
// makes Japanese the default locale (the dialogs' file type names follow it). Returns false
// when the translation is not installed; those labels then stay as Qt has them.
bool UseJapaneseQtTexts(QCoreApplication& application);

// Qt's file dialog reads its history, last folder and column widths from the user's settings
// when it opens and writes them back when it is destroyed; this program keeps nothing.
void KeepNoSettings();

}  // namespace elevara::app
