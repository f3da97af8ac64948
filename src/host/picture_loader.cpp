#include "host/picture_loader.h"

#include <algorithm>
#include <exception>

#include "host/runtime.h"

namespace host {

namespace {
// More names than the picture cycle has; the oldest goes first.
constexpr std::size_t kMaxOverranFiles = 64;

// The wait is cut into slices, each counted as no longer than itself:
// the time a slice outlasts itself is time the process did not run
// (suspended, or the machine asleep), which no file is charged with.
constexpr unsigned kWaitSliceMs = 250;

// The painted size as the caller's rule gives it; a rule that fails knows
// no size, and the picture is scaled as it is painted.
PaintedSize Guarded(PaintedSize rule) {
  if (!rule) return {};
  return [rule = std::move(rule)](SizePx natural) -> std::optional<SizePx> {
    try {
      return rule(natural);
    } catch (const std::exception&) {
      return std::nullopt;
    }
  };
}
}  // namespace

// The interface thread's time left for the loads of one LoadPicture.
class PictureLoader::WaitBudget {
 public:
  unsigned NextSlice() const { return std::min(kWaitSliceMs, leftMs_); }
  void Spend(unsigned sliceMs) { leftMs_ -= sliceMs; }

 private:
  unsigned leftMs_ = kDecodeTimeoutMs;
};

Picture PictureLoader::Load(const Text& path) {
  ForgetFinishedDecodes();
  pressWaits_ = false;
  WaitBudget budget;
  const SizePx showWithin = LargestScreen();
  std::optional<Prepared> prepared = TakePrepared(path, showWithin);
  PaintedSize paintedSize = prepared ? prepared->paintedSize : PaintedSize{};
  if (prepared) {
    Await(prepared->load, path, budget);
    const std::optional<FileStamp> stamp = prepared->load->Stamp();
    if (prepared->load->Lasting() && stamp) {
      // The loader's thread looks whether the file is still the one it
      // decoded, and decodes it afresh only when it is not.
      std::vector<FileStamp> known = OverranStamps(path);
      known.push_back(*stamp);
      const std::shared_ptr<PictureLoad> check =
          Begin(path, showWithin, std::move(known), paintedSize);
      Await(check, path, budget);
      return check->Stamp() == stamp ? prepared->load->Result() : Outcome(*check, path);
    }
  }
  const std::shared_ptr<PictureLoad> load =
      Begin(path, showWithin, OverranStamps(path), paintedSize);
  Await(load, path, budget);
  return Outcome(*load, path);
}

void PictureLoader::Prepare(const Text& path, PaintedSize paintedSize) {
  try {
    if (prepared_) Discard(std::exchange(prepared_, std::nullopt)->load);
    ForgetFinishedDecodes();
    // The room a preparation takes is still free when its load comes: it
    // is the only one to be given up in between.
    if (pressWaits_ || !RoomToDecode()) return;
    const SizePx showWithin = LargestScreen();
    paintedSize = Guarded(std::move(paintedSize));
    const LoadRequest request{path, showWithin, OverranStamps(path), paintedSize};
    prepared_ =
        Prepared{path, showWithin, std::move(paintedSize), os_.BeginPreparePicture(request)};
  } catch (const std::exception&) {
    prepared_.reset();  // the load will decode it
  }
}

// The preparation made for this load, or none; one made for another is
// of no use.
std::optional<PictureLoader::Prepared> PictureLoader::TakePrepared(const Text& path,
                                                                   SizePx showWithin) {
  std::optional<Prepared> prepared = std::exchange(prepared_, std::nullopt);
  if (prepared && (prepared->path != path || prepared->showWithin != showWithin)) {
    Discard(std::move(prepared->load));
    prepared.reset();
  }
  return prepared;
}

std::shared_ptr<PictureLoad> PictureLoader::Begin(const Text& path, SizePx showWithin,
                                                  std::vector<FileStamp> skip,
                                                  const PaintedSize& paintedSize) {
  if (!RoomToDecode()) {
    throw RuntimeError(ErrorCode::InvalidPicture, "stuck decodes hold the room for another");
  }
  return os_.BeginLoadPicture(LoadRequest{path, showWithin, std::move(skip), paintedSize});
}

// What a finished load gives: a file that overran before fails as it did.
Picture PictureLoader::Outcome(PictureLoad& load, const Text& path) const {
  const std::optional<FileStamp> stamp = load.Stamp();
  if (stamp && std::ranges::count(OverranStamps(path), *stamp) > 0) {
    throw RuntimeError(ErrorCode::InvalidPicture, "the picture overran its decoding time before");
  }
  return load.Result();
}

// A preparation that is no use: finished, it goes with its picture before
// a new decode needs the memory; still running, it is given up and left
// behind.
void PictureLoader::Discard(std::shared_ptr<PictureLoad> load) {
  if (load->Finished()) return;
  load->GiveUp();
  leftBehind_.push_back(std::move(load));
}

void PictureLoader::Await(const std::shared_ptr<PictureLoad>& load, const Text& path,
                          WaitBudget& budget) {
  while (!load->Finished()) {
    const unsigned slice = budget.NextSlice();
    if (slice == 0) {
      Discard(load);
      if (const std::optional<FileStamp> stamp = load->Stamp()) Remember(path, *stamp);
      throw RuntimeError(ErrorCode::InvalidPicture, "the picture took too long to decode");
    }
    switch (os_.WaitForLoad(*load, slice)) {
      case LoadWait::Finished:
        return;
      case LoadWait::Input:
        Discard(load);
        pressWaits_ = true;
        throw RuntimeError(ErrorCode::InvalidPicture, "a key or a button interrupted the load");
      case LoadWait::TimedOut:
        budget.Spend(slice);
        break;
    }
  }
}

void PictureLoader::ForgetFinishedDecodes() {
  std::erase_if(leftBehind_, [](const auto& load) { return load->Finished(); });
}

// A picture is shown no larger than a screen: the largest width and the
// largest height among the monitors.
SizePx PictureLoader::LargestScreen() const {
  SizePx largest;
  for (const RectPx& monitor : os_.Monitors()) {
    largest.width = std::max(largest.width, monitor.width);
    largest.height = std::max(largest.height, monitor.height);
  }
  return largest;
}

std::vector<FileStamp> PictureLoader::OverranStamps(const Text& path) const {
  std::vector<FileStamp> stamps;
  for (const auto& [name, stamp] : overranFiles_) {
    if (name == path) stamps.push_back(stamp);
  }
  return stamps;
}

void PictureLoader::Remember(const Text& path, const FileStamp& stamp) {
  std::erase_if(overranFiles_, [&](const auto& entry) { return entry.first == path; });
  if (overranFiles_.size() == kMaxOverranFiles) overranFiles_.pop_front();
  overranFiles_.emplace_back(path, stamp);
}

}  // namespace host
