// What the About box's launcher makes of the bytes a registry value gives.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "dialogs/key_value.h"
#include "host/runtime.h"
#include "host/win_constants.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Of(const std::string& text) { return Bytes(text.begin(), text.end()); }

TEST(DialogKeyValue, TextGoesThroughTheAnsiConversionNumbersBecomeHexOthersNothing) {
  constexpr std::uint32_t kSz = host::win::kRegSz, kDword = host::win::kRegDword;
  const std::string path = "C:\\Tools\\msinfo32.exe";
  const struct {
    const char* name;
    std::uint32_t type;
    Bytes data;
    std::optional<host::Text> text;
    std::string converted;  // the bytes handed to the ANSI conversion
  } cases[] = {
      // clang-format off
      {"text with its terminator", kSz, Of(path + '\0'), u"ansi:C:\\Tools\\msinfo32.exe", path},
      {"text without its terminator", kSz, Of(path), u"ansi:C:\\Tools\\msinfo32.exe", path},
      {"code page 932 bytes", kSz, {0xBC, 0xBD, 0xC3, 0xD1, 0x00}, u"ansi:\u00BC\u00BD\u00C3\u00D1",
       "\xBC\xBD\xC3\xD1"},
      {"only the terminator", kSz, {0x00}, u"ansi:", ""},
      {"two final NULs lose one", kSz, {'a', 0x00, 0x00}, host::Text(u"ansi:a\0", 7), {"a\0", 2}},
      // The stored 00 top byte is taken for a terminator and dropped.
      {"number", kDword, {0x0B, 0x0A, 0x05, 0x00}, u"&h050A0B", ""},
      {"number with every byte", kDword, {0xEF, 0xBE, 0xAD, 0xDE}, u"&hDEADBEEF", ""},
      {"number zero", kDword, {0x00, 0x00, 0x00, 0x00}, u"&h000000", ""},
      {"expandable text", 2, Of("%SystemRoot%\\x.exe"), std::nullopt, ""},
      {"several texts", 7, Of(path + '\0' + '\0'), std::nullopt, ""},
      {"binary", 3, {1, 2, 3}, std::nullopt, ""},
      {"no type", 0, {0}, std::nullopt, ""},
      // clang-format on
  };
  for (const auto& c : cases) {
    std::string converted;
    const dialogs::AnsiDecoder fromAnsi = [&](std::string_view bytes) {
      converted.assign(bytes);
      host::Text text = u"ansi:";
      for (char byte : bytes) text += static_cast<char16_t>(static_cast<unsigned char>(byte));
      return text;
    };
    const auto size = static_cast<std::uint32_t>(c.data.size());
    const std::optional<host::Text> text =
        dialogs::DecodeKeyValue(c.type, c.data.data(), size, fromAnsi);
    EXPECT_EQ(std::tuple(text, converted), std::tuple(c.text, c.converted)) << c.name;
  }
}

TEST(DialogKeyValue, NoDataIsAnInvalidArgumentWhateverTheType) {
  const dialogs::AnsiDecoder fromAnsi = [](std::string_view) { return host::Text(); };
  for (std::uint32_t type : {host::win::kRegSz, host::win::kRegDword, 2u}) {
    const std::uint8_t untouched[1] = {'x'};
    try {
      dialogs::DecodeKeyValue(type, untouched, 0, fromAnsi);
      ADD_FAILURE() << "no error for type " << type;
    } catch (const host::RuntimeError& e) {
      EXPECT_EQ(e.code(), host::ErrorCode::InvalidArgument) << type;
    }
  }
}

}  // namespace
