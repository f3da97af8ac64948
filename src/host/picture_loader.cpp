#include "host/picture_loader.h"

#include <algorithm>

#include "host/runtime.h"

namespace host {

namespace {
// More names than the picture cycle has; the oldest goes first.
constexpr std::size_t kMaxOverranFiles = 64;
}  // namespace

Picture PictureLoader::Load(const Text& path) {
  if (overrun_ && overrun_->Finished()) overrun_.reset();
  const std::optional<FileStamp> stamp = os_.StampOf(path);
  if (stamp && OverranBefore(path, *stamp)) {
    throw RuntimeError(ErrorCode::InvalidPicture, "the picture overran its decoding time before");
  }
  const std::shared_ptr<PictureLoad> load = os_.BeginLoadPicture(path, LargestScreen());
  for (;;) {
    switch (os_.WaitForLoad(*load, kDecodeTimeoutMs)) {
      case LoadWait::Finished:
        return load->Result();
      case LoadWait::Input:
        load->GiveUp();
        throw RuntimeError(ErrorCode::InvalidPicture, "a key or a button interrupted the load");
      case LoadWait::TimedOut:
        if (overrun_ && !overrun_->Finished()) continue;  // never leave a second one behind
        load->GiveUp();
        overrun_ = load;
        if (stamp) Remember(path, *stamp);
        throw RuntimeError(ErrorCode::InvalidPicture, "the picture took too long to decode");
    }
  }
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
