#include "commands/gml_command.h"

namespace elevara {

CommandResult RunGmlConversion(Services& services, const GmlConversion& conversion, int workers) {
  using namespace gml_text;
  // The bar and the window's messages stay on this thread (RunParallelJobs).
  return RunBatchCommand(services, {kOpenTitle, kOpenFilter, kNoFileChosen, kNoFileFound},
                         [&](const BatchContext& context) {
                           BatchContext onWorkers = context;
                           onWorkers.workers = workers;
                           return ConvertGmlFolder(onWorkers, conversion);
                         });
}

CommandResult RunGml10Conversion(Services& services) {
  return RunGmlConversion(services, kGml10Conversion);
}

CommandResult RunGml5Conversion(Services& services) {
  return RunGmlConversion(services, kGml5Conversion);
}

CommandResult RunGml1Conversion(Services& services) {
  return RunGmlConversion(services, kGml1Conversion);
}

}  // namespace elevara
