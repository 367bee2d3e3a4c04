// The commands write their dialogs' filters as "description | pattern", with further pairs
// after further bars and several patterns joined by ";". Qt wants one entry per pair,
// "description (pattern pattern)".
#pragma once

#include <string_view>

#include <QStringList>

namespace elevara::app {

// "*.*" becomes "*": where these filters come from it matches every file, also those without a
// dot in their names, which Qt's "*.*" would hide. An empty filter gives no entry at all.
QStringList QtNameFilters(std::string_view filter);

}  // namespace elevara::app
