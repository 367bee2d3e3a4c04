#include "raster/overview_pyramid.h"

#include <algorithm>
#include <limits>
#include <system_error>

namespace elevara {

std::vector<RasterSize> OverviewSizes(std::int64_t width, std::int64_t height) {
  std::vector<RasterSize> sizes;
  RasterSize level{width, height};
  while (std::max(level.width, level.height) > kSmallestOverviewSide) {
    level = {(level.width + 1) / 2, (level.height + 1) / 2};
    sizes.push_back(level);
  }
  return sizes;
}

// One level: the sums and counts of the cells of its current row, gathered from two rows of
// the level above, written out as means and handed on to the level below.
class OverviewPyramid::Level {
 public:
  Level(FileSystem& fs, const std::filesystem::path& near, RasterSize size, bool declaresNoData)
      : fs_(fs),
        path_(TemporaryPathFor(near)),
        file_(OutputFile::CreateNew(fs, path_, near)),
        sums_(static_cast<std::size_t>(size.width)),
        counts_(static_cast<std::size_t>(size.width)),
        means_(static_cast<std::size_t>(size.width)),
        empty_(declaresNoData ? kNoData : std::numeric_limits<float>::quiet_NaN()) {}
  Level(const Level&) = delete;
  Level& operator=(const Level&) = delete;
  ~Level() {
    file_.reset();
    std::error_code ignored;
    fs_.remove(path_, ignored);
  }

  // A row of the level above, cell x of which falls into cell x / 2 here. Returns whether this
  // level's row is whole now.
  bool add(const std::vector<double>& sums, const std::vector<std::uint32_t>& counts) {
    for (std::size_t x = 0; x < sums.size(); ++x) {
      sums_[x / 2] += sums[x];
      counts_[x / 2] += counts[x];
    }
    return ++rowsAdded_ == 2;
  }

  bool pending() const { return rowsAdded_ > 0; }

  // Writes the row's means and starts the next row; the finished sums go to the level below.
  void emit() {
    for (std::size_t x = 0; x < means_.size(); ++x) {
      means_[x] = counts_[x] == 0 ? empty_ : static_cast<float>(sums_[x] / counts_[x]);
    }
    ToFileOrder(means_);
    file_->write(means_.data(), means_.size() * sizeof(float));
    if (below_ != nullptr && below_->add(sums_, counts_)) below_->emit();
    std::fill(sums_.begin(), sums_.end(), 0.0);
    std::fill(counts_.begin(), counts_.end(), 0u);
    rowsAdded_ = 0;
  }

  void close() {
    file_->close();
    file_.reset();
  }

  const std::filesystem::path& path() const { return path_; }
  void setBelow(Level& below) { below_ = &below; }

 private:
  FileSystem& fs_;
  std::filesystem::path path_;
  std::optional<OutputFile> file_;
  std::vector<double> sums_;
  std::vector<std::uint32_t> counts_;
  std::vector<float> means_;
  float empty_;
  int rowsAdded_ = 0;
  Level* below_ = nullptr;
};

OverviewPyramid::OverviewPyramid(FileSystem& fs, const std::filesystem::path& near, RasterSize size,
                                 bool declaresNoData)
    : sizes_(OverviewSizes(size.width, size.height)),
      sums_(static_cast<std::size_t>(size.width)),
      counts_(static_cast<std::size_t>(size.width)),
      declaresNoData_(declaresNoData) {
  for (const RasterSize& level : sizes_) {
    levels_.push_back(std::make_unique<Level>(fs, near, level, declaresNoData));
    if (levels_.size() > 1) levels_[levels_.size() - 2]->setBelow(*levels_.back());
  }
}

OverviewPyramid::~OverviewPyramid() = default;

void OverviewPyramid::addRow(std::span<const float> row) {
  if (levels_.empty()) return;
  for (std::size_t x = 0; x < row.size(); ++x) {
    const bool holds = HoldsData(row[x], declaresNoData_);
    sums_[x] = holds ? row[x] : 0.0;
    counts_[x] = holds ? 1 : 0;
  }
  if (levels_.front()->add(sums_, counts_)) levels_.front()->emit();
}

void OverviewPyramid::finish() {
  // A raster of an odd height leaves a half-gathered row on every level it reaches.
  for (auto& level : levels_) {
    if (level->pending()) level->emit();
  }
  for (auto& level : levels_) level->close();
}

const std::filesystem::path& OverviewPyramid::levelPath(std::size_t index) const {
  return levels_.at(index)->path();
}

}  // namespace elevara
