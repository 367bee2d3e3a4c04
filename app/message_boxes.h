// The two boxes the window shows: the plain message box of the commands and help texts, and the
// error box of a failure that left a command.
#pragma once

#include <string_view>

#include <QString>

namespace elevara::app {

class ModalRunner;

QString FromUtf8(std::string_view text);

// The text with its line breaks, one "OK" button, no icon, the application title as caption.
void ShowPlainMessage(ModalRunner& runner, const QString& caption, const QString& text);

// The failure's message with the error display's "." rule, an error icon and one "OK" button.
// An empty message gives a box without text.
void ShowErrorBox(ModalRunner& runner, const QString& caption, std::string_view message);

}  // namespace elevara::app
