#include "dialogs/key_value.h"

#include "host/runtime.h"
#include "host/win_constants.h"

namespace dialogs {
namespace {

// "&h" and the bytes from the last to the first, two upper-case hex digits
// each: the little-endian number written most significant byte first.
host::Text HexOfBytes(const std::uint8_t* data, std::uint32_t count) {
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  host::Text text = u"&h";
  for (std::uint32_t i = count; i > 0; --i) {
    text += kDigits[data[i - 1] >> 4];
    text += kDigits[data[i - 1] & 0x0F];
  }
  return text;
}

}  // namespace

std::optional<host::Text> DecodeKeyValue(std::uint32_t type, const std::uint8_t* data,
                                         std::uint32_t count, const AnsiDecoder& fromAnsi) {
  if (count == 0) {
    throw host::RuntimeError(host::ErrorCode::InvalidArgument, "registry value without data");
  }
  const std::uint32_t kept = data[count - 1] == 0 ? count - 1 : count;
  switch (type) {
    case host::win::kRegSz:
      return fromAnsi(std::string_view(reinterpret_cast<const char*>(data), kept));
    case host::win::kRegDword:
      return FormatNoPattern(HexOfBytes(data, kept));
    default:
      return std::nullopt;
  }
}

host::Text FormatNoPattern(const host::Text& text) { return text; }

}  // namespace dialogs
