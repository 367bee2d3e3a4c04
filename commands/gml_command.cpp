#include "commands/gml_command.h"

namespace elevara {

CommandResult RunGmlConversion(Services& services, const GmlConversion& conversion) {
  using namespace gml_text;
  return RunBatchCommand(
      services, {kOpenTitle, kOpenFilter, kNoFileChosen, kNoFileFound},
      [&](const BatchContext& context) { return ConvertGmlFolder(context, conversion); });
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
