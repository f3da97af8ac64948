// Bounds-checked reads of little- and big-endian numbers from a byte
// string that may be cut short anywhere: every read says whether the bytes
// were there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace host::picture {

using Bytes = std::span<const std::uint8_t>;

class ByteReader {
 public:
  ByteReader(Bytes bytes, bool bigEndian) : bytes_(bytes), big_(bigEndian) {}

  std::size_t Size() const { return bytes_.size(); }
  bool Has(std::uint64_t offset, std::uint64_t count) const {
    return offset <= bytes_.size() && count <= bytes_.size() - offset;
  }
  bool U8(std::uint64_t offset, std::uint32_t& value) const {
    if (!Has(offset, 1)) return false;
    value = bytes_[static_cast<std::size_t>(offset)];
    return true;
  }
  bool U16(std::uint64_t offset, std::uint32_t& value) const {
    if (!Has(offset, 2)) return false;
    const std::uint8_t* p = bytes_.data() + offset;
    value = big_ ? (p[0] << 8 | p[1]) : (p[1] << 8 | p[0]);
    return true;
  }
  bool U32(std::uint64_t offset, std::uint32_t& value) const {
    if (!Has(offset, 4)) return false;
    const std::uint8_t* p = bytes_.data() + offset;
    value = big_ ? (std::uint32_t{p[0]} << 24 | p[1] << 16 | p[2] << 8 | p[3])
                 : (std::uint32_t{p[3]} << 24 | p[2] << 16 | p[1] << 8 | p[0]);
    return true;
  }

 private:
  Bytes bytes_;
  bool big_;
};

}  // namespace host::picture
