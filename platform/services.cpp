#include "platform/services.h"

#include "platform/file_system.h"

namespace elevara {

FileSystem& Services::fileSystem() {
  return SystemFileSystem();
}

void Progress::startPhase(std::int64_t steps) {
  services_.setProgressMinimum(0);
  services_.setProgressMaximum(steps);
  services_.setProgressPosition(0);
  services_.setProgressStep(1);
}

void Progress::step() {
  services_.processMessages();
  services_.stepProgress();
}

}  // namespace elevara
