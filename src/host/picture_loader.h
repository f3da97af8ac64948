// The rules of LoadPicture around the backend's decoding thread: how long a
// decode may take, what happens to one that overruns, and that a key or a
// click is answered while a picture decodes.
//
// A decode that overruns kDecodeTimeoutMs is given up and its file is not
// decoded again while its size and write time stay the same: it counts as
// a bad picture. A decoder stuck inside one call keeps its thread, and
// whatever the backend gave it, until it returns, if ever; so at most one
// such decode is left behind at a time. While it lives, a later load that
// overruns too is waited for (still answering keys and buttons) instead of
// leaving a second one behind.
#pragma once

#include <deque>
#include <memory>
#include <utility>

#include "host/os.h"

namespace host {

// Decoding time grows with the pixels and the bytes, both bounded, so a
// sound file of the largest size takes a few seconds at most; this catches
// a decoder that never finishes on a malformed file.
inline constexpr unsigned kDecodeTimeoutMs = 10000;

class PictureLoader {
 public:
  explicit PictureLoader(Os& os) : os_(os) {}

  // The picture in the file at `path`. Raises the load's RuntimeError, and
  // InvalidPicture for a file that overran before, for one that overruns
  // now, and when a key or button press interrupts the load (the press
  // stays queued, so the program answers it as soon as the caller returns).
  Picture Load(const Text& path);

 private:
  SizePx LargestScreen() const;
  bool OverranBefore(const Text& path, const FileStamp& stamp) const;
  void Remember(const Text& path, const FileStamp& stamp);

  Os& os_;
  std::shared_ptr<PictureLoad> overrun_;  // the decode left behind, while it lives
  std::deque<std::pair<Text, FileStamp>> overranFiles_;
};

}  // namespace host
