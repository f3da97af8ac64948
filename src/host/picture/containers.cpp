#include "host/picture/containers.h"

namespace host::picture {

bool IsJpegStartOfFrame(int marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

bool WalkJpegSegments(Bytes jpeg, const std::function<bool(int, Bytes)>& visit) {
  const ByteReader in(jpeg, true);
  if (jpeg.size() < 2 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) return false;
  std::uint64_t at = 2;
  for (;;) {
    std::uint32_t byte = 0;
    if (!in.U8(at, byte) || byte != 0xFF) return false;
    while (in.U8(at, byte) && byte == 0xFF) ++at;  // fill bytes before the marker
    if (!in.U8(at, byte)) return false;
    const int marker = static_cast<int>(byte);
    ++at;
    if (marker == 0xDA || marker == 0xD9) return true;
    if (marker == 0x00) return false;  // a stuffed zero: we are inside entropy-coded data
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) continue;  // no length
    std::uint32_t length = 0;
    if (!in.U16(at, length) || length < 2 || !in.Has(at, length)) return false;
    if (!visit(marker, jpeg.subspan(static_cast<std::size_t>(at + 2), length - 2))) return true;
    at += length;
  }
}

bool ReadTiffHeader(Bytes tiff, TiffHeader& header) {
  if (tiff.size() < 8) return false;
  if (tiff[0] == 'I' && tiff[1] == 'I' && tiff[2] == 42 && tiff[3] == 0) {
    header.bigEndian = false;
  } else if (tiff[0] == 'M' && tiff[1] == 'M' && tiff[2] == 0 && tiff[3] == 42) {
    header.bigEndian = true;
  } else {
    return false;
  }
  return ByteReader(tiff, header.bigEndian).U32(4, header.firstIfd);
}

bool FindTiffEntry(Bytes tiff, std::uint16_t tag, TiffEntry& entry) {
  TiffHeader header;
  if (!ReadTiffHeader(tiff, header)) return false;
  const ByteReader in(tiff, header.bigEndian);
  std::uint32_t entries = 0;
  if (header.firstIfd < 8 || !in.U16(header.firstIfd, entries)) return false;
  for (std::uint32_t i = 0; i < entries; ++i) {
    const std::uint64_t at = std::uint64_t{header.firstIfd} + 2 + 12 * std::uint64_t{i};
    std::uint32_t id = 0;
    if (!in.U16(at, id) || !in.U16(at + 2, entry.type) || !in.U32(at + 4, entry.count)) {
      return false;
    }
    if (id != tag) continue;
    entry.bigEndian = header.bigEndian;
    entry.field = at + 8;
    return true;
  }
  return false;
}

bool FindTiffTag(Bytes tiff, std::uint16_t tag, std::uint32_t& value) {
  TiffEntry entry;
  if (!FindTiffEntry(tiff, tag, entry) || entry.count < 1) return false;
  const ByteReader in(tiff, entry.bigEndian);
  if (entry.type == 3) return in.U16(entry.field, value);  // SHORT
  if (entry.type == 4) return in.U32(entry.field, value);  // LONG
  return false;
}

}  // namespace host::picture
