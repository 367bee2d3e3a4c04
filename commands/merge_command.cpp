#include "commands/merge_command.h"

namespace elevara {

CommandResult RunDem5Merge(Services& services) {
  using namespace dem5_text;
  return RunBatchCommand(services, {kOpenTitle, kOpenFilter, kNoInput, kNotFound}, MergeDem5Folder);
}

}  // namespace elevara
