#include "raster/dem5_merge.h"

#include "platform/services.h"

namespace elevara {

// Placeholder until the merge lands.
CommandResult RunDem5Merge(Services& services) {
  services.showMessage("未実装です");
  return {CommandOutcome::kFailed, {}};
}

}  // namespace elevara
