// The parts of the JPEG and TIFF containers that the header check and the
// orientation reader share. Every function takes any bytes at all: cut
// short, looping or pointing outside themselves, they give up and say so.
#pragma once

#include <cstdint>
#include <functional>

#include "host/picture/bytes.h"

namespace host::picture {

// Calls `visit(marker, body)` for each marker segment of a JPEG from the
// one after SOI up to the first SOS or EOI (not included), where `body` is
// the segment after its two length bytes. Stops early when `visit` returns
// false or when the bytes end or stop making sense. False when the bytes
// are not a JPEG or end before SOS.
bool WalkJpegSegments(Bytes jpeg, const std::function<bool(int marker, Bytes body)>& visit);

// True for the start-of-frame markers, which hold the picture size.
bool IsJpegStartOfFrame(int marker);

// A TIFF byte stream ("II*\0" or "MM\0*" and the first IFD's offset).
struct TiffHeader {
  bool bigEndian = false;
  std::uint32_t firstIfd = 0;
};
bool ReadTiffHeader(Bytes tiff, TiffHeader& header);

// An entry of the first IFD: its field type, its count of values, and
// where in the bytes its 4-byte value field lies (which holds the values
// themselves when they fit, else their offset), in the file's byte order.
struct TiffEntry {
  bool bigEndian = false;
  std::uint32_t type = 0;
  std::uint32_t count = 0;
  std::uint64_t field = 0;
};

// The entry for `tag` in the first IFD. False when it is absent or the IFD
// cannot be read as far as it.
bool FindTiffEntry(Bytes tiff, std::uint16_t tag, TiffEntry& entry);

// The value of a SHORT or LONG `tag` in the first IFD (the first value
// when it has several). False when it is absent or cannot be read.
bool FindTiffTag(Bytes tiff, std::uint16_t tag, std::uint32_t& value);

}  // namespace host::picture
