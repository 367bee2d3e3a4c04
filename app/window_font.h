// The font of the window and of its boxes.
#pragma once

#include <QFont>

namespace elevara::app {

QFont WindowFont();

}  // namespace elevara::app
