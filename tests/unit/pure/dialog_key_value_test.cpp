// What the About box's launcher makes of the bytes a registry value gives.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "dialogs/key_value.h"
#include "host/runtime.h"
#include "host/win_constants.h"

namespace {

using dialogs::DecodeKeyValue;
using Bytes = std::vector<std::uint8_t>;

// Records the bytes it is handed and widens each one, so a test sees both
// what reached the ANSI conversion and what came back.
struct RecordingDecoder {
  std::string seen;
  dialogs::AnsiDecoder Fn() {
    return [this](std::string_view bytes) {
      seen.assign(bytes);
      return host::Text(bytes.begin(), bytes.end());
    };
  }
};

Bytes Of(const std::string& text) { return Bytes(text.begin(), text.end()); }

std::optional<host::Text> Decode(std::uint32_t type, const Bytes& data, RecordingDecoder& dec) {
  return DecodeKeyValue(type, data.data(), static_cast<std::uint32_t>(data.size()), dec.Fn());
}

TEST(DialogKeyValue, TextReadsTheSameWithOrWithoutItsTerminator) {
  RecordingDecoder withNul, withoutNul;
  const auto a =
      Decode(host::win::kRegSz, Of(std::string("C:\\Tools\\msinfo32.exe") + '\0'), withNul);
  const auto b = Decode(host::win::kRegSz, Of("C:\\Tools\\msinfo32.exe"), withoutNul);
  ASSERT_TRUE(a.has_value());
  EXPECT_EQ(*a, u"C:\\Tools\\msinfo32.exe");
  EXPECT_EQ(a, b);
  EXPECT_EQ(withNul.seen, withoutNul.seen);
}

TEST(DialogKeyValue, TextBytesGoThroughTheAnsiConversion) {
  // "ｼｽﾃﾑ" in code page 932 is four single bytes; the converter decides.
  RecordingDecoder dec;
  dialogs::AnsiDecoder fake = [](std::string_view) { return host::Text(u"converted"); };
  const Bytes data = {0xBC, 0xBD, 0xC3, 0xD1, 0x00};
  EXPECT_EQ(DecodeKeyValue(host::win::kRegSz, data.data(), 5, fake), u"converted");
  Decode(host::win::kRegSz, data, dec);
  EXPECT_EQ(dec.seen, std::string("\xBC\xBD\xC3\xD1"));
}

TEST(DialogKeyValue, OnlyTheTerminatorAndNothingElseIsTheEmptyText) {
  RecordingDecoder dec;
  EXPECT_EQ(Decode(host::win::kRegSz, Bytes{0x00}, dec), host::Text());
}

TEST(DialogKeyValue, OnlyOneFinalNulIsDropped) {
  RecordingDecoder dec;
  Decode(host::win::kRegSz, Bytes{'a', 0x00, 0x00}, dec);
  EXPECT_EQ(dec.seen, std::string("a\0", 2));
}

TEST(DialogKeyValue, NumberIsItsHexTextMostSignificantByteFirst) {
  RecordingDecoder dec;
  // The stored 00 top byte is taken for a terminator and dropped.
  EXPECT_EQ(Decode(host::win::kRegDword, Bytes{0x0B, 0x0A, 0x05, 0x00}, dec), u"&h050A0B");
  EXPECT_EQ(Decode(host::win::kRegDword, Bytes{0xEF, 0xBE, 0xAD, 0xDE}, dec), u"&hDEADBEEF");
  EXPECT_EQ(Decode(host::win::kRegDword, Bytes{0x00, 0x00, 0x00, 0x00}, dec), u"&h000000");
  EXPECT_TRUE(dec.seen.empty()) << "a number never goes through the text conversion";
}

TEST(DialogKeyValue, OtherTypesGiveNothing) {
  RecordingDecoder dec;
  const Bytes text = Of(std::string("%SystemRoot%\\x.exe") + '\0');
  EXPECT_EQ(Decode(2 /* REG_EXPAND_SZ */, text, dec), std::nullopt);
  EXPECT_EQ(Decode(7 /* REG_MULTI_SZ */, text, dec), std::nullopt);
  EXPECT_EQ(Decode(3 /* REG_BINARY */, Bytes{1, 2, 3}, dec), std::nullopt);
  EXPECT_EQ(Decode(0 /* REG_NONE */, Bytes{0}, dec), std::nullopt);
}

TEST(DialogKeyValue, NoDataIsAnInvalidArgumentWhateverTheType) {
  RecordingDecoder dec;
  for (std::uint32_t type : {host::win::kRegSz, host::win::kRegDword, 2u}) {
    const std::uint8_t untouched[1] = {'x'};
    try {
      DecodeKeyValue(type, untouched, 0, dec.Fn());
      ADD_FAILURE() << "no error for type " << type;
    } catch (const host::RuntimeError& e) {
      EXPECT_EQ(e.code(), host::ErrorCode::InvalidArgument);
    }
  }
}

TEST(DialogKeyValue, FormatWithoutPatternGivesTheTextBack) {
  EXPECT_EQ(dialogs::FormatNoPattern(u"&h050A0B"), u"&h050A0B");
}

}  // namespace
