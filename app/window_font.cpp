#include "app/window_font.h"

#include <QStringList>

namespace elevara::app {

// Linux has no Tahoma; IPAPGothic is proportional, carries every glyph of the texts and at the
// window's 11 pixels fits each of them into its place, and every help text's longest line onto
// a screen 1024 pixels wide.
QFont WindowFont() {
  QFont font;
  font.setFamilies({QStringLiteral("IPAPGothic")});
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(11);
  return font;
}

}  // namespace elevara::app
