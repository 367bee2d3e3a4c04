// The boxes the window shows: the plain message box of the commands and help texts, the same box
// with an error icon for a file the command could not read or write, and the error box of a
// failure that left a command. Each breaks lines only where its text does, growing to the
// widest line as far as the screen allows.
#pragma once

#include <string_view>

#include <QString>

namespace elevara::app {

class ModalRunner;

QString FromUtf8(std::string_view text);

// The text with its line breaks, one "OK" button, no icon, the application title as caption.
void ShowPlainMessage(ModalRunner& runner, const QString& caption, const QString& text);

// The text of a file that cannot be read or written, as it is, with an error icon.
void ShowFileErrorBox(ModalRunner& runner, const QString& caption, const QString& text);

// Asks whether the running command is to be interrupted: kAskInterrupt with the buttons
// kInterrupt and kContinue, the latter the default, so that a stray Enter changes nothing.
// True for kInterrupt.
bool AskToInterrupt(ModalRunner& runner, const QString& caption);

// The failure's message with the error display's "." rule, an error icon and one "OK" button.
// An empty message gives a box without text.
void ShowErrorBox(ModalRunner& runner, const QString& caption, std::string_view message);

}  // namespace elevara::app
