// The simulated loader thread: files with stamps, decodes that take
// processor time, and a process that may be stopped or starved meanwhile.
#include <algorithm>
#include <sstream>

#include "host/runtime.h"
#include "host/sim/sim_log.h"
#include "host/sim/sim_os.h"

namespace sim {

std::string PictureFile(int width, int height) {
  return "SIMPIC " + std::to_string(width) + " " + std::to_string(height);
}

std::string SlowPictureFile(int width, int height, std::uint64_t decodeMs) {
  return PictureFile(width, height) + " " + std::to_string(decodeMs);
}

std::string HangingPictureFile(int width, int height) {
  return PictureFile(width, height) + " hang";
}

// A load on the simulated loader thread: it needs `work` milliseconds of
// processor time (none: it never ends), which it gets as SimOs::RunThread
// gives them at its priority.
class SimOs::Load final : public host::PictureLoad {
 public:
  struct Outcome {
    host::Picture picture;
    host::ErrorCode error = host::ErrorCode::InvalidPicture;
    std::optional<host::FileStamp> stamp;
    bool lasting = false;
  };

  Load(const SimOs& os, std::uint64_t bytes, std::optional<std::uint64_t> work, bool urgent,
       Outcome outcome)
      : bytes(bytes),
        os_(os),
        work_(work),
        urgent_(urgent),
        at_(os.now),
        outcome_(std::move(outcome)) {}
  bool Finished() override {
    const std::optional<std::uint64_t> end = End();
    return end && os_.now >= *end;
  }
  host::Picture Result() override {
    if (!outcome_.picture) throw host::RuntimeError(outcome_.error);
    return outcome_.picture;
  }
  std::optional<host::FileStamp> Stamp() override { return outcome_.stamp; }
  bool Lasting() override { return outcome_.lasting; }
  // A decode runs to its own end, as one stuck inside a codec does; given
  // up, it runs at the normal priority.
  void GiveUp() override { Hurry(); }

  void Hurry() {
    if (urgent_) return;
    ran_ += os_.RunThread(at_, os_.now, work_.value_or(UINT64_MAX) - ran_, false).ran;
    at_ = os_.now;
    urgent_ = true;
  }
  // When it has had all its time, if ever.
  std::optional<std::uint64_t> End() const {
    if (!work_) return std::nullopt;
    return os_.RunThread(at_, UINT64_MAX, *work_ - ran_, urgent_).at;
  }
  bool Hangs() const { return !work_; }

  const std::uint64_t bytes;
  std::uint64_t waited = 0;  // by loads that saw no way for it to end

 private:
  const SimOs& os_;
  const std::optional<std::uint64_t> work_;
  bool urgent_;
  std::uint64_t at_;       // since when it runs at its present priority
  std::uint64_t ran_ = 0;  // processor time it had before then
  Outcome outcome_;
};

void SimOs::SuspendAt(std::uint64_t at, std::uint64_t ms) { suspended_.push_back({at, at + ms}); }

void SimOs::BusyBetween(std::uint64_t from, std::uint64_t to) { busy_.push_back({from, to}); }

// A thread that wants `work` milliseconds of processor time from `from`
// on, stopped where the process is, and where the machine is busy unless
// it runs at the normal priority: where it stands at `until`, or where it
// has had all it wanted.
SimOs::Run SimOs::RunThread(std::uint64_t from, std::uint64_t until, std::uint64_t work,
                            bool urgent) const {
  Run run{from, 0};
  while (run.at < until && run.ran < work) {
    std::uint64_t nextStop = UINT64_MAX;
    std::uint64_t stoppedUntil = run.at;
    auto look = [&](const std::vector<Span>& spans) {
      for (const Span& span : spans) {
        if (span.from <= run.at && run.at < span.to) stoppedUntil = std::max(stoppedUntil, span.to);
        if (span.from > run.at) nextStop = std::min(nextStop, span.from);
      }
    };
    look(suspended_);
    if (!urgent) look(busy_);
    if (stoppedUntil > run.at) {
      run.at = std::min(stoppedUntil, until);
      continue;
    }
    const std::uint64_t step = std::min({until - run.at, work - run.ran, nextStop - run.at});
    run.at += step;
    run.ran += step;
  }
  return run;
}

// When the process runs again after `at`: at once, unless it is stopped.
std::uint64_t SimOs::Resumed(std::uint64_t at) const {
  for (bool moved = true; moved;) {
    moved = false;
    for (const Span& span : suspended_) {
      if (span.from <= at && at < span.to) {
        at = span.to;
        moved = true;
      }
    }
  }
  return at;
}

// Logged with the number of stamps to skip, where there are any.
std::shared_ptr<host::PictureLoad> SimOs::BeginLoadPicture(const host::LoadRequest& request) {
  LogLoad("BeginLoadPicture", request);
  return StartDecode(request, true);
}

std::shared_ptr<host::PictureLoad> SimOs::BeginPreparePicture(const host::LoadRequest& request) {
  LogLoad("BeginPreparePicture", request);
  return StartDecode(request, false);
}

void SimOs::LogLoad(const std::string& name, const host::LoadRequest& request) {
  const host::SizePx& within = request.showWithin;
  if (request.skip.empty()) {
    Log(name, request.path, within.width, within.height);
  } else {
    Log(name, request.path, within.width, within.height, request.skip.size());
  }
}

// The load opens the file (which takes its time on a slow share), takes
// its stamp, then decodes it unless the request says to skip it.
std::shared_ptr<SimOs::Load> SimOs::StartDecode(const host::LoadRequest& request, bool urgent) {
  std::erase_if(loads_, [](const std::shared_ptr<Load>& load) {
    return load->Finished() && load.use_count() == 1;
  });
  const auto found = files.find(request.path);
  const File* file = found == files.end() ? nullptr : &found->second;
  const std::uint64_t openMs = file ? file->openMs : 0;
  using host::ErrorCode;
  auto failed = [](ErrorCode error, std::optional<host::FileStamp> stamp = {},
                   bool lasting = false) {
    return Load::Outcome{nullptr, error, stamp, lasting};
  };
  auto finished = [&](Load::Outcome outcome, std::uint64_t work = 0) {
    auto load = std::make_shared<Load>(*this, file ? file->content.size() : 0,
                                       std::optional(openMs + work), urgent, std::move(outcome));
    loads_.push_back(load);
    return load;
  };
  if (file == nullptr) return finished(failed(ErrorCode::FileNotFound));
  if (file->sharedAway) return finished(failed(ErrorCode::InvalidPicture));
  const host::FileStamp stamp{1, file->fileIndex, file->content.size(), file->writeTime,
                              file->changeTime};
  if (std::ranges::count(request.skip, stamp) > 0) {
    return finished(failed(ErrorCode::InvalidPicture, stamp));
  }
  std::istringstream content(file->content);
  std::string magic;
  int width = 0;
  int height = 0;
  if (file->directory || !(content >> magic >> width >> height) || magic != "SIMPIC" || width < 0 ||
      height < 0) {
    return finished(failed(ErrorCode::InvalidPicture, stamp, /*lasting=*/true));
  }
  std::string extra;
  content >> extra;
  const std::optional<host::SizePx> painted =
      request.paintedSize ? request.paintedSize({width, height}) : std::nullopt;
  Load::Outcome decoded{std::make_shared<SimPicture>(width, height, painted, extra == "nomem"),
                        ErrorCode::InvalidPicture, stamp, true};
  if (extra == "hang") {
    auto load = std::make_shared<Load>(*this, file->content.size(), std::nullopt, urgent,
                                       std::move(decoded));
    loads_.push_back(load);
    return load;
  }
  const bool timed = !extra.empty() && std::isdigit(static_cast<unsigned char>(extra[0]));
  return finished(std::move(decoded), timed ? std::stoull(extra) : 0);
}

// A wait that runs out while the process is stopped ends as it runs again.
host::LoadWait SimOs::WaitForLoad(host::PictureLoad& pending, unsigned ms) {
  auto& load = static_cast<Load&>(pending);
  load.Hurry();
  const std::uint64_t deadline = now + ms;
  const std::uint64_t finish = load.End().value_or(UINT64_MAX);
  const auto press = std::min_element(scheduled_.begin(), scheduled_.end(),
                                      [](const Scheduled& a, const Scheduled& b) {
                                        return a.press != b.press ? a.press : a.at < b.at;
                                      });
  const bool pressing = press != scheduled_.end() && press->press;
  if (pressing && press->at < std::min(finish, deadline)) {
    now = std::max(now, Resumed(press->at));
    return host::LoadWait::Input;
  }
  if (finish <= deadline) {
    now = std::max(now, finish);
    return host::LoadWait::Finished;
  }
  constexpr std::uint64_t kHour = 3600000;
  if (load.Hangs() && !pressing && (load.waited += ms) >= kHour) throw LoadStarved{};
  now = Resumed(deadline);
  return host::LoadWait::TimedOut;
}

int SimOs::RunningDecodes() const {
  return static_cast<int>(std::count_if(loads_.begin(), loads_.end(),
                                        [](const auto& load) { return !load->Finished(); }));
}

std::uint64_t SimOs::HeldDecodeBytes() const {
  std::uint64_t bytes = 0;
  for (const auto& load : loads_) {
    if (!load->Finished() || load.use_count() > 1) bytes += load->bytes;
  }
  return bytes;
}

}  // namespace sim
