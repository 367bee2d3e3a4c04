#include "gml/gml_conversion.h"

#include "platform/services.h"

namespace elevara {

// Placeholder until the conversions land.
CommandResult RunGml10Conversion(Services& services) {
  services.showMessage("未実装です");
  return {CommandOutcome::kFailed, {}};
}

CommandResult RunGml5Conversion(Services& services) {
  services.showMessage("未実装です");
  return {CommandOutcome::kFailed, {}};
}

}  // namespace elevara
