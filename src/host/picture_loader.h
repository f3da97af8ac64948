// The rules of LoadPicture around the backend's decoding thread: how long a
// load may hold the interface thread, what happens to a decode that
// overruns, that a key or a click is answered while a picture decodes, and
// the picture prepared ahead of its load.
//
// The interface thread waits at most kDecodeTimeoutMs for a load, counted
// from the moment it starts to wait, and only while the process runs: a
// preparation that the machine starved of processor time, or that slept
// with the machine, has lost nothing by its tick. A decode that overruns
// while it is waited for, at the normal priority, is given up and its file
// is not decoded again while its stamp stays the same: it counts as a bad
// picture. A decoder stuck inside one call keeps its thread, and whatever
// the backend gave it, until it returns, if ever: at most kMaxLeftBehind
// such decodes are left behind at a time, and while that many live, every
// load fails at once without starting a decode. On Windows each holds at
// most the file's bytes (257 MiB), the decoded pixels within the budget
// (256 MiB) and one band of rows, besides what the codec holds itself.
//
// Prepare reads and decodes a file while the program idles, so that the
// Load of the same file only has to take the result. Whether the file is
// still the one prepared is asked of the file system on the loader's
// thread, never on the interface thread: a folder on a share that hangs
// keeps the picture from showing, not the program from answering. A
// preparation that failed for a reason that passes is tried again. At most
// one picture is prepared.
#pragma once

#include <deque>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "host/os.h"

namespace host {

// Decoding time grows with the pixels and the bytes, both bounded, so a
// sound file of the largest size takes a few seconds at most; this catches
// a decoder that never finishes on a malformed file.
inline constexpr unsigned kDecodeTimeoutMs = 10000;

// One bad file may hang its codec for good and the pictures still go on;
// a second stops the decoding, not the program.
inline constexpr std::size_t kMaxLeftBehind = 2;

class PictureLoader {
 public:
  explicit PictureLoader(Os& os) : os_(os) {}

  // The picture in the file at `path`. Raises the load's RuntimeError, and
  // InvalidPicture for a file that overran before, for one that overruns
  // now, while kMaxLeftBehind decodes are left behind, and when a key or
  // button press interrupts the load (the press stays queued, so the
  // program answers it as soon as the caller returns).
  Picture Load(const Text& path);

  // Begins decoding the file at `path` for a later Load, in place of any
  // picture prepared before; with `paintedSize`, the bitmap it will be
  // painted with too. Raises nothing: what fails here fails in Load. After
  // a press interrupted a load nothing is prepared: the program is about
  // to answer the press.
  void Prepare(const Text& path, PaintedSize paintedSize = {});

 private:
  struct Prepared {
    Text path;
    SizePx showWithin;
    PaintedSize paintedSize;
    std::shared_ptr<PictureLoad> load;
  };
  class WaitBudget;

  std::optional<Prepared> TakePrepared(const Text& path, SizePx showWithin);
  std::shared_ptr<PictureLoad> Begin(const Text& path, SizePx showWithin,
                                     std::vector<FileStamp> skip, const PaintedSize& paintedSize);
  Picture Outcome(PictureLoad& load, const Text& path) const;
  void Discard(std::shared_ptr<PictureLoad> load);
  void Await(const std::shared_ptr<PictureLoad>& load, const Text& path, WaitBudget& budget);
  void ForgetFinishedDecodes();
  bool RoomToDecode() const { return leftBehind_.size() < kMaxLeftBehind; }
  SizePx LargestScreen() const;
  std::vector<FileStamp> OverranStamps(const Text& path) const;
  void Remember(const Text& path, const FileStamp& stamp);

  Os& os_;
  std::vector<std::shared_ptr<PictureLoad>> leftBehind_;  // given up, still running
  std::deque<std::pair<Text, FileStamp>> overranFiles_;
  std::optional<Prepared> prepared_;
  bool pressWaits_ = false;  // a press interrupted the last load
};

}  // namespace host
