// The rules of LoadPicture around the backend's decoding thread: how long a
// decode may take, what happens to one that overruns, that a key or a
// click is answered while a picture decodes, and the picture prepared
// ahead of its load.
//
// A decode that overruns kDecodeTimeoutMs, counted from its start, is
// given up and its file is not decoded again while its size and write time
// stay the same: it counts as a bad picture. No load holds the caller
// longer than that. A decoder stuck inside one call keeps its thread, and
// whatever the backend gave it, until it returns, if ever: at most
// kMaxLeftBehind such decodes are left behind at a time, and while that
// many live, every load fails at once without starting a decode. On
// Windows each holds at most the file's bytes (257 MiB), the decoded
// pixels within the budget (256 MiB) and one band of rows, besides what
// the codec holds itself.
//
// Prepare reads and decodes a file while the program idles, so that the
// Load of the same file, unchanged since, only has to take the result;
// one that failed fails again at once. At most one picture is prepared.
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
  // picture prepared before. Raises nothing: what fails here fails in Load.
  void Prepare(const Text& path);

 private:
  struct Prepared {
    Text path;
    std::optional<FileStamp> stamp;
    SizePx showWithin;
    std::shared_ptr<PictureLoad> load;
  };

  std::shared_ptr<PictureLoad> TakePrepared(const Text& path, const std::optional<FileStamp>& stamp,
                                            SizePx showWithin);
  void Discard(std::shared_ptr<PictureLoad> load);
  Picture Await(const std::shared_ptr<PictureLoad>& load, const Text& path,
                const std::optional<FileStamp>& stamp);
  void ForgetFinishedDecodes();
  bool RoomToDecode() const { return leftBehind_.size() < kMaxLeftBehind; }
  SizePx LargestScreen() const;
  bool OverranBefore(const Text& path, const FileStamp& stamp) const;
  void Remember(const Text& path, const FileStamp& stamp);

  Os& os_;
  std::vector<std::shared_ptr<PictureLoad>> leftBehind_;  // given up, still running
  std::deque<std::pair<Text, FileStamp>> overranFiles_;
  std::optional<Prepared> prepared_;
};

}  // namespace host
