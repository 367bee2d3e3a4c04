// What the progress steps cost a tile in a real Qt event loop: a shown window with a progress
// bar, pending events processed once per step as the window does, against the same tile
// converted with steps that do nothing. Run it under QT_QPA_PLATFORM=offscreen or a virtual
// display.

#include <QApplication>
#include <QFileDialog>
#include <QProgressBar>
#include <QVBoxLayout>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "app/modal_runner.h"
#include "app/qt_services.h"
#include "commands/services.h"
#include "gml/gml_tile.h"
#include "platform/file_system.h"
#include "testkit/files.h"
#include "testkit/null_services.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kTileWidth = 1125;
constexpr int kTileHeight = 750;
constexpr int kRepetitions = 5;

double BestSeconds(const std::function<void()>& work) {
  double best = 1e9;
  for (int i = 0; i < kRepetitions; ++i) {
    auto start = Clock::now();
    work();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
  }
  return best;
}

// A bare progress bar set at every step, with the pending events processed before, as a window
// would do without limiting its redraws.
class BareBarServices : public elevara::testing::NullServices {
 public:
  explicit BareBarServices(QProgressBar& bar) : bar_(bar) {}
  void processMessages() override { QCoreApplication::processEvents(QEventLoop::AllEvents); }

 protected:
  void progressChanged(ProgressChange change) override {
    if (change == ProgressChange::kAdvance) bar_.setValue(bar_.value() + 1);
  }

 private:
  QProgressBar& bar_;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QWidget window;
  auto* bar = new QProgressBar(&window);
  auto* layout = new QVBoxLayout(&window);
  layout->addWidget(bar);
  window.resize(483, 100);
  window.show();
  QApplication::processEvents();

  const fs::path tile = ELEVARA_BENCH_TILE;
  if (!fs::exists(tile)) {
    std::printf("progress bench: %s absent, nothing to measure\n", tile.string().c_str());
    return 0;
  }
  const elevara::testing::TempFolder scratch;
  const int tileSteps = static_cast<int>(elevara::GmlTileSteps(kTileHeight));

  bar->setRange(0, tileSteps);
  const std::function<void()> windowStep = [bar] {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    bar->setValue(bar->value() + 1);
  };
  elevara::testing::NullServices quietServices;
  BareBarServices barServices(*bar);
  auto convert = [&](elevara::Services& services) {
    bar->setValue(0);
    elevara::ServicesProgress progress(services);
    elevara::ConvertGmlTile(elevara::SystemFileSystem(), progress, tile,
                            {scratch / "tile.raw", kTileWidth, kTileHeight});
  };

  const double quiet = BestSeconds([&] { convert(quietServices); });
  const double stepped = BestSeconds([&] { convert(barServices); });
  auto stepsAlone = [&](const std::function<void()>& step) {
    return BestSeconds([&] {
      bar->setValue(0);
      for (int i = 0; i < tileSteps; ++i) step();
    });
  };
  const double both = stepsAlone(windowStep);
  const double eventsOnly =
      stepsAlone([] { QCoreApplication::processEvents(QEventLoop::AllEvents); });
  const double barOnly = stepsAlone([bar] { bar->setValue(bar->value() + 1); });
  // The window's own services, which redraw the bar at most about 60 times a second.
  QFileDialog openDialog, saveDialog;
  elevara::app::ModalRunner runner;
  elevara::app::QtServices services(openDialog, saveDialog, *bar, runner, QStringLiteral("bench"));
  elevara::ServicesProgress progress(services);
  const double throttled = BestSeconds([&] {
    progress.startPhase(tileSteps);
    for (int i = 0; i < tileSteps; ++i) progress.step();
  });
  const double windowTile = BestSeconds([&] {
    progress.startPhase(tileSteps);
    elevara::ConvertGmlTile(elevara::SystemFileSystem(), progress, tile,
                            {scratch / "tile.raw", kTileWidth, kTileHeight});
  });

  std::printf("platform %s, tile %s, bar %d px wide\n", qPrintable(QApplication::platformName()),
              tile.filename().string().c_str(), bar->width());
  std::printf(
      "a bare QProgressBar set at every step: %.1f us a step (processing events alone %.1f us, "
      "advancing the bar alone %.1f us)\n",
      both / tileSteps * 1e6, eventsOnly / tileSteps * 1e6, barOnly / tileSteps * 1e6);
  const double share = both / quiet;
  std::printf(
      "tile without steps %.1f ms, with its %d steps %.1f ms; the steps alone %.1f ms, "
      "%.0f %% of the tile's own time: %s\n",
      quiet * 1e3, tileSteps, stepped * 1e3, both * 1e3, 100 * share,
      share < 1 ? "the tile dominates" : "the steps dominate");
  const double windowShare = throttled / quiet;
  std::printf(
      "the window's services (bar redrawn at most 60 times a second): steps alone %.1f ms, "
      "%.0f %% of the tile; the tile with them %.1f ms: %s\n",
      throttled * 1e3, 100 * windowShare, windowTile * 1e3,
      windowShare < 1 ? "the tile dominates, goal met" : "THE STEPS DOMINATE, goal missed");
  return windowShare < 1 ? 0 : 1;
}
