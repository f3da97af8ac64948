#include "host/picture/embedded_profile.h"

#include <cstring>
#include <optional>

#include "host/picture/containers.h"
#include "host/picture/header.h"

namespace host::picture {

namespace {

// "ICC_PROFILE\0", then the chunk's sequence number (from 1) and the count
// of chunks, one byte each.
constexpr char kIccSignature[] = "ICC_PROFILE";
constexpr std::size_t kChunkHeader = sizeof kIccSignature + 2;

constexpr std::uint16_t kTiffIccTag = 34675;
constexpr std::uint32_t kTiffByte = 1, kTiffUndefined = 7;

}  // namespace

std::vector<std::uint8_t> ReadJpegProfile(Bytes jpeg) {
  std::vector<std::optional<Bytes>> chunks;
  bool consistent = true;
  WalkJpegSegments(jpeg, [&](int marker, Bytes body) {
    if (marker != 0xE2 || body.size() < kChunkHeader ||
        std::memcmp(body.data(), kIccSignature, sizeof kIccSignature) != 0) {
      return true;
    }
    const unsigned sequence = body[sizeof kIccSignature];
    const unsigned count = body[sizeof kIccSignature + 1];
    if (chunks.empty()) chunks.resize(count);
    consistent = sequence >= 1 && sequence <= count && count == chunks.size() &&
                 !chunks[sequence - 1].has_value();
    if (consistent) chunks[sequence - 1] = body.subspan(kChunkHeader);
    return consistent;
  });
  std::size_t total = 0;
  for (const std::optional<Bytes>& chunk : chunks) {
    if (!chunk) return {};
    total += chunk->size();
  }
  if (!consistent || total == 0 || total > kMaxProfileBytes) return {};
  std::vector<std::uint8_t> profile;
  profile.reserve(total);
  for (const std::optional<Bytes>& chunk : chunks)
    profile.insert(profile.end(), chunk->begin(), chunk->end());
  return profile;
}

std::vector<std::uint8_t> ReadTiffProfile(Bytes tiff) {
  TiffEntry entry;
  if (!FindTiffEntry(tiff, kTiffIccTag, entry)) return {};
  if (entry.type != kTiffByte && entry.type != kTiffUndefined) return {};
  // A value of up to 4 bytes would sit in the field itself; no profile is
  // that small, so the field always holds an offset here.
  const ByteReader in(tiff, entry.bigEndian);
  std::uint32_t offset = 0;
  if (entry.count <= 4 || entry.count > kMaxProfileBytes || !in.U32(entry.field, offset) ||
      !in.Has(offset, entry.count)) {
    return {};
  }
  const Bytes profile = tiff.subspan(offset, entry.count);
  return {profile.begin(), profile.end()};
}

std::vector<std::uint8_t> ReadEmbeddedProfile(Bytes file) {
  switch (SniffFormat(file)) {
    case PictureFormat::Jpeg:
      return ReadJpegProfile(file);
    case PictureFormat::Tiff:
      return ReadTiffProfile(file);
    default:
      return {};
  }
}

}  // namespace host::picture
