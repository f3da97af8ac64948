// DecodeKeyValue on any type and any data up to the launcher's buffer.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "dialogs/key_value.h"
#include "host/runtime.h"
#include "host/win_constants.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  std::uint32_t type = 0;
  std::memcpy(&type, data, 4);
  type %= 12;  // the registry's own types, and a few beyond them
  const std::uint8_t* bytes = data + 4;
  const auto count = static_cast<std::uint32_t>(size - 4 > 1024 ? 1024 : size - 4);
  try {
    const auto text = dialogs::DecodeKeyValue(
        type, bytes, count, [](std::string_view ansi) { return host::FromUtf8(ansi); });
    if (text && type != host::win::kRegSz && type != host::win::kRegDword) __builtin_trap();
  } catch (const host::RuntimeError&) {
    if (count != 0) __builtin_trap();
  }
  return 0;
}
