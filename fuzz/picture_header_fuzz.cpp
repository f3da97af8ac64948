// The header check that decides the memory budget before decoding: any
// file prefix, cut anywhere.
#include <cstddef>
#include <cstdint>

#include "host/picture/header.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace host::picture;
  PictureHeader header;
  const HeaderVerdict verdict = CheckPictureHeader(Bytes(data, size), header);
  if (verdict == HeaderVerdict::Ok && !WithinBudget(header.width, header.height)) __builtin_trap();
  if (verdict == HeaderVerdict::Ok && header.format != SniffFormat(Bytes(data, size))) {
    __builtin_trap();
  }
  return 0;
}
