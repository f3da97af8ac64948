#include "host/picture_loader.h"

#include <algorithm>
#include <exception>

#include "host/runtime.h"

namespace host {

namespace {
// More names than the picture cycle has; the oldest goes first.
constexpr std::size_t kMaxOverranFiles = 64;
}  // namespace

Picture PictureLoader::Load(const Text& path) {
  ForgetFinishedDecodes();
  const std::optional<FileStamp> stamp = os_.StampOf(path);
  const SizePx showWithin = LargestScreen();
  std::shared_ptr<PictureLoad> load = TakePrepared(path, stamp, showWithin);
  if (!load) {
    if (stamp && OverranBefore(path, *stamp)) {
      throw RuntimeError(ErrorCode::InvalidPicture, "the picture overran its decoding time before");
    }
    if (!RoomToDecode()) {
      throw RuntimeError(ErrorCode::InvalidPicture, "stuck decodes hold the room for another");
    }
    load = os_.BeginLoadPicture(path, showWithin);
  }
  return Await(load, path, stamp);
}

void PictureLoader::Prepare(const Text& path) {
  try {
    if (prepared_) Discard(std::exchange(prepared_, std::nullopt)->load);
    ForgetFinishedDecodes();
    // The room a preparation takes is still free when its load comes: it
    // is the only one to be given up in between.
    if (!RoomToDecode()) return;
    const std::optional<FileStamp> stamp = os_.StampOf(path);
    if (stamp && OverranBefore(path, *stamp)) return;
    const SizePx showWithin = LargestScreen();
    prepared_ = Prepared{path, stamp, showWithin, os_.BeginPreparePicture(path, showWithin)};
  } catch (const std::exception&) {
    prepared_.reset();  // the load will decode it
  }
}

// The prepared load of this very file as it is now, or null.
std::shared_ptr<PictureLoad> PictureLoader::TakePrepared(const Text& path,
                                                         const std::optional<FileStamp>& stamp,
                                                         SizePx showWithin) {
  std::optional<Prepared> prepared = std::exchange(prepared_, std::nullopt);
  if (!prepared) return nullptr;
  if (stamp && prepared->stamp == stamp && prepared->path == path &&
      prepared->showWithin == showWithin) {
    return std::move(prepared->load);
  }
  Discard(std::move(prepared->load));
  return nullptr;
}

// A preparation that is no use: finished, it goes with its picture before
// a new decode needs the memory; still running, it is given up and left
// behind.
void PictureLoader::Discard(std::shared_ptr<PictureLoad> load) {
  if (load->Finished()) return;
  load->GiveUp();
  leftBehind_.push_back(std::move(load));
}

// The time limit counts from the load's start: a preparation that has run
// unwatched has used that much of it already.
Picture PictureLoader::Await(const std::shared_ptr<PictureLoad>& load, const Text& path,
                             const std::optional<FileStamp>& stamp) {
  if (load->Finished()) return load->Result();
  const std::uint64_t spent = std::min<std::uint64_t>(load->MsSinceBegun(), kDecodeTimeoutMs);
  switch (os_.WaitForLoad(*load, static_cast<unsigned>(kDecodeTimeoutMs - spent))) {
    case LoadWait::Finished:
      return load->Result();
    case LoadWait::Input:
      load->GiveUp();
      throw RuntimeError(ErrorCode::InvalidPicture, "a key or a button interrupted the load");
    case LoadWait::TimedOut:
      break;
  }
  load->GiveUp();
  leftBehind_.push_back(load);
  if (stamp) Remember(path, *stamp);
  throw RuntimeError(ErrorCode::InvalidPicture, "the picture took too long to decode");
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

bool PictureLoader::OverranBefore(const Text& path, const FileStamp& stamp) const {
  return std::find(overranFiles_.begin(), overranFiles_.end(), std::pair{path, stamp}) !=
         overranFiles_.end();
}

void PictureLoader::Remember(const Text& path, const FileStamp& stamp) {
  std::erase_if(overranFiles_, [&](const auto& entry) { return entry.first == path; });
  if (overranFiles_.size() == kMaxOverranFiles) overranFiles_.pop_front();
  overranFiles_.emplace_back(path, stamp);
}

}  // namespace host
