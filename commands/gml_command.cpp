#include "commands/gml_command.h"

namespace elevara {

CommandResult RunGmlConversion(Services& services, const GmlConversion& conversion, int workers,
                               const GmlOptions& options) {
  using namespace gml_text;
  // The bar and the window's messages stay on this thread (RunParallelJobs).
  return RunBatchCommand(services, {kOpenTitle, kOpenFilter, kNoFileChosen, kNoFileFound},
                         [&](const BatchContext& context) {
                           BatchContext onWorkers = context;
                           onWorkers.workers = workers;
                           return ConvertGmlFolder(onWorkers, conversion, options);
                         });
}

CommandResult RunGml10Conversion(Services& services, const GmlOptions& options) {
  return RunGmlConversion(services, kGml10Conversion, AvailableCores(), options);
}

CommandResult RunGml5Conversion(Services& services, const GmlOptions& options) {
  return RunGmlConversion(services, kGml5Conversion, AvailableCores(), options);
}

CommandResult RunGml1Conversion(Services& services, const GmlOptions& options) {
  return RunGmlConversion(services, kGml1Conversion, AvailableCores(), options);
}

}  // namespace elevara
