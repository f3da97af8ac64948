// Byte layouts for the picture tests: integers in either byte order, a PNG header, a TIFF IFD0,
// JPEG segments.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace testing_support {

using ByteVector = std::vector<std::uint8_t>;

inline void Put16(ByteVector& out, std::uint32_t v, bool big) {
  out.push_back(static_cast<std::uint8_t>(big ? v >> 8 : v));
  out.push_back(static_cast<std::uint8_t>(big ? v : v >> 8));
}

inline void Put32(ByteVector& out, std::uint32_t v, bool big) {
  Put16(out, big ? v >> 16 : v & 0xFFFF, big);
  Put16(out, big ? v & 0xFFFF : v >> 16, big);
}

// A PNG's signature, then its IHDR chunk's length, type, width and height.
inline ByteVector Png(std::uint32_t width, std::uint32_t height) {
  ByteVector out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  Put32(out, width, true);
  Put32(out, height, true);
  return out;
}

struct TiffEntry {
  std::uint16_t tag, type;
  std::uint32_t count, value;  // a SHORT value sits in the first two bytes
};

// Header, IFD0 at offset 8 with the entries given, then the next IFD's offset.
inline ByteVector Tiff(bool big, const std::vector<TiffEntry>& entries, std::uint32_t next = 0) {
  ByteVector out = big ? ByteVector{'M', 'M', 0, 42} : ByteVector{'I', 'I', 42, 0};
  Put32(out, 8, big);
  Put16(out, static_cast<std::uint32_t>(entries.size()), big);
  for (const TiffEntry& e : entries) {
    Put16(out, e.tag, big);
    Put16(out, e.type, big);
    Put32(out, e.count, big);
    Put32(out, e.type == 3 ? (big ? e.value << 16 : e.value) : e.value, big);
  }
  Put32(out, next, big);
  return out;
}

inline ByteVector Segment(std::uint8_t marker, const ByteVector& body) {
  const std::size_t length = body.size() + 2;
  ByteVector out(2 + length);
  out[0] = 0xFF;
  out[1] = marker;
  out[2] = static_cast<std::uint8_t>(length >> 8);
  out[3] = static_cast<std::uint8_t>(length);
  std::copy(body.begin(), body.end(), out.begin() + 4);
  return out;
}

inline ByteVector ExifSegment(const ByteVector& tiff) {
  ByteVector body = {'E', 'x', 'i', 'f', 0, 0};
  body.insert(body.end(), tiff.begin(), tiff.end());
  return Segment(0xE1, body);
}

// SOI, the segments given, a scan with a byte of data, EOI.
inline ByteVector Jpeg(const std::vector<ByteVector>& segments) {
  ByteVector out = {0xFF, 0xD8};
  for (const ByteVector& s : segments) out.insert(out.end(), s.begin(), s.end());
  out.insert(out.end(), {0xFF, 0xDA, 0x12, 0xFF, 0xD9});
  return out;
}

// An APP2 segment with a chunk of an ICC profile: "ICC_PROFILE\0", sequence number, count.
inline ByteVector IccSegment(std::uint8_t sequence, std::uint8_t count, const ByteVector& chunk) {
  ByteVector body = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, sequence, count};
  body.insert(body.end(), chunk.begin(), chunk.end());
  return Segment(0xE2, body);
}

// A TIFF whose IFD0 holds an orientation and tag 34675 of the type given, with the profile's
// size or `count`, the profile after the IFD.
inline ByteVector TiffWithProfile(bool big, std::uint16_t type, const ByteVector& profile,
                                  std::uint32_t count = 0) {
  const auto offset = static_cast<std::uint32_t>(Tiff(big, {{}, {}}).size());
  if (count == 0) count = static_cast<std::uint32_t>(profile.size());
  ByteVector tiff = Tiff(big, {{0x0112, 3, 1, 1}, {34675, type, count, offset}});
  tiff.insert(tiff.end(), profile.begin(), profile.end());
  return tiff;
}

}  // namespace testing_support
