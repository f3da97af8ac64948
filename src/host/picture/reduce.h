// Reduction by a whole factor while a picture is decoded.
//
// A picture much larger than the screen is never shown at its own size:
// the saver scales it down to fit. Keeping it at full size would cost four
// bytes a pixel, written once and read once more when it is scaled. Instead
// its rows are averaged in blocks of factor x factor pixels as they come
// from the decoder, and only the reduced copy is kept: still at least the
// size it is shown at, so that the final scaling is a reduction too and
// loses nothing. The averaging is in linear light, as in resample.h.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "host/picture/channel_curves.h"
#include "host/picture/pixels.h"
#include "host/picture/samples16.h"

namespace host::picture {

// The whole factor by which a picture of width x height can be reduced and
// still be at least as large as when it is scaled down, keeping its shape,
// to fit a screen of screenWidth x screenHeight: the integer part of the
// larger of width / screenWidth and height / screenHeight, so 1 (no
// reduction) for a picture less than twice the screen's width and height;
// at most 16.
int PrescaleFactor(int width, int height, int screenWidth, int screenHeight);

// Averages blocks of factor x factor pixels of a width x height picture fed
// a band of rows at a time, top to bottom. The blocks at the right and
// bottom edges may be smaller; each is the average of the pixels it has.
// The result is ceil(width / factor) x ceil(height / factor), opaque.
// With `threads` above 1 each band's columns are shared out among that many
// threads (the caller's among them); the result is the same. Each channel
// comes into linear light through `curves` (which must outlive the
// reducer); the averages are encoded with the sRGB curve.
class BlockReducer {
 public:
  // Throws std::bad_alloc when memory is short.
  BlockReducer(int width, int height, int factor, int threads = 1,
               const ChannelCurves& curves = SrgbCurves());
  BlockReducer(const BlockReducer&) = delete;
  BlockReducer& operator=(const BlockReducer&) = delete;
  ~BlockReducer();

  // The next `rows.height` rows of the picture, rows.width == width. Alpha
  // is ignored.
  void AddRows(const PixelView& rows);

  // The same from rows of packed 3-byte B, G, R pixels, `stride` bytes
  // apart (as WIC's 24bppBGR).
  void AddBgrRows(const std::uint8_t* rows, int count, std::ptrdiff_t stride);

  // The same from rows of 16-bit samples laid out as `layout` says (grey,
  // or R G B or B G R with or without a fourth sample, as WIC's formats
  // are), `stride` samples apart, already opaque (alpha, if any, is
  // ignored). Each sample
  // counts with its full precision; only the averages are rounded to 8
  // bits. A picture's rows come all in one kind, this or the 8-bit ones.
  void AddRows16(const std::uint16_t* rows, int count, std::ptrdiff_t stride,
                 const Layout16& layout);

  // The reduced picture, once every row has been added.
  PixelBuffer Finish();

 private:
  // Runs part(i) for i in 0..parts-1, part 0 on this thread.
  void RunParts(const std::function<void(int)>& part);
  void HelperLoop(int index);
  // Adds up to `count` rows (no more than the picture has left), the
  // columns shared among the parts.
  template <class Rows>
  void AddSource(const Rows& rows, int count);
  template <class Rows>
  void AddColumns(const Rows& rows, int count, int firstBlock, int lastBlock);
  template <int kFineBits>
  void Emit(int firstBlock, int lastBlock, int blockRow, int rowsInBlock);

  const ChannelCurves* curves_;
  int width_, height_, factor_;
  int rowsIn_ = 0;  // source rows added so far
  PixelBuffer out_;
  std::vector<std::uint32_t> sums_;  // B, G, R a block, linear

  // Helper threads, each with its share of the columns.
  int parts_ = 1;
  std::vector<std::thread> helpers_;
  std::mutex mutex_;
  std::condition_variable wake_, done_;
  std::exception_ptr failure_;  // the first a helper met in the current task
  const std::function<void(int)>* task_ = nullptr;
  unsigned generation_ = 0;
  int pending_ = 0;
  bool stopping_ = false;
};

}  // namespace host::picture
