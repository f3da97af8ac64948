// The rules of texts and numbers: the toolkit's text functions, the About box's lines, what a
// registry value reads as, the pictures' names and placement, and the run-time errors they raise
// (also built with SSE2 and run under Wine).
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "dialogs/about_text.h"
#include "dialogs/key_value.h"
#include "host/runtime.h"
#include "host/text.h"
#include "host/win_constants.h"
#include "saver/picture_rules.h"

namespace {

using host::ErrorCode;
using host::Text;
using saver::Fit;

TEST(Text, FunctionsGiveWhatTheirNamesSay) {
  using saver::PictureFileName;
  const std::pair<Text, Text> cases[] = {
      {host::Replace(u"a  b   c    d", u"  ", u"\r\n"), u"a\r\nb\r\n c\r\n\r\nd"},
      {host::Replace(u"abc", u"", u"x"), u"abc"},
      {host::UCase(u"/sｓé"), u"/SＳé"},  // ASCII and full-width letters only
      {host::Str(-32768), u"-32768"},
      {host::FromUtf8(host::ToUtf8(u"設定 \U0001F600 abc")), u"設定 \U0001F600 abc"},
      {host::FromUtf8("\x80\xFF\xC3"), u"\uFFFD\uFFFD\uFFFD"},
      {host::Str(host::AddInt16(32766, 1)), u"32767"},
      {dialogs::VersionLine(10, 2, 15), u"ﾊﾞｰｼﾞｮﾝ 10.2.15"},
      {dialogs::VersionLine(-1, 0, 32767), u"ﾊﾞｰｼﾞｮﾝ -1.0.32767"},
      // Each pair of blanks a line break; not a single blank, nor full-width ones.
      {dialogs::CopyrightLines(u"(C) 2001  Zarvo   W    x y\u3000\u3000z"),
       u"(C) 2001\r\nZarvo\r\n W\r\n\r\nx y\u3000\u3000z"},
      {PictureFileName(u"C:\\WINDOWS", 50), u"C:\\WINDOWS\\ZARVO050.DAT"},
      {PictureFileName(u"Y:\\", 7), u"Y:\\ZARVO007.DAT"},  // a drive root: no second "\"
      {PictureFileName(u"C:\\x", 1000), u"C:\\x\\ZARVO1000.DAT"},
      {PictureFileName(u"C:\\x/", 1), u"C:\\x/\\ZARVO001.DAT"}};  // only "\" counts
  for (const auto& [got, expected] : cases) EXPECT_EQ(got, expected);
}

TEST(DialogKeyValue, TextGoesThroughTheAnsiConversionNumbersBecomeHexOthersNothing) {
  using Bytes = std::vector<std::uint8_t>;
  const auto of = [](const std::string& text) { return Bytes(text.begin(), text.end()); };
  constexpr std::uint32_t kSz = host::win::kRegSz, kDword = host::win::kRegDword;
  const std::string path = "C:\\Tools\\msinfo32.exe";
  const struct {
    const char* name;
    std::uint32_t type;
    Bytes data;
    std::optional<Text> text;  // "ansi:" and the bytes handed to the ANSI conversion
  } cases[] = {
      {"text with its terminator", kSz, of(path + '\0'), u"ansi:C:\\Tools\\msinfo32.exe"},
      {"text without its terminator", kSz, of(path), u"ansi:C:\\Tools\\msinfo32.exe"},
      {"only the terminator", kSz, {0x00}, u"ansi:"},
      {"two final NULs lose one", kSz, {'a', 0x00, 0x00}, Text(u"ansi:a\0", 7)},
      // The stored 00 top byte is taken for a terminator and dropped.
      {"number", kDword, {0x0B, 0x0A, 0x05, 0x00}, u"&h050A0B"},
      {"number with every byte", kDword, {0xEF, 0xBE, 0xAD, 0xDE}, u"&hDEADBEEF"},
      {"expandable text", 2, of("%SystemRoot%\\x.exe"), std::nullopt},
  };
  const dialogs::AnsiDecoder fromAnsi = [](std::string_view bytes) {
    Text text = u"ansi:";
    for (char byte : bytes) text += static_cast<char16_t>(static_cast<unsigned char>(byte));
    return text;
  };
  for (const auto& c : cases) {
    const auto size = static_cast<std::uint32_t>(c.data.size());
    EXPECT_EQ(dialogs::DecodeKeyValue(c.type, c.data.data(), size, fromAnsi), c.text) << c.name;
  }
}

TEST(FitPicture, WorkedValuesComeOutBitForBit) {
  // Screen width and height, picture width and height; the placement.
  const std::tuple<double, double, float, float, Fit, bool, float, float, float, float> cases[] = {
      {800, 600, 400, 300, Fit::NaturalSize, false, 200, 150, 400, 300},
      {800, 600, 799, 599, Fit::NaturalSize, false, 0.5f, 0.5f, 799, 599},
      {800, 600, 0, 10, Fit::NaturalSize, false, 400, 295, 0, 10},
      {800, 600, 1600, 800, Fit::ToWidth, true, 0, 100, 800, 400},
      {800, 600, 300, 1200, Fit::ToHeight, true, 325, 0, 150, 600},
      {800, 600, 1200, 900, Fit::ToHeight, true, 0, 0, 800, 600},  // a landscape tie
      {800, 600, 800, 600, Fit::ToHeight, true, 0, 0, 800, 600},
      {800, 600, 900, 500, Fit::ToWidth, true, 0, 77.77777099609375f, 800, 444.4444580078125f},
      {600, 800, 900, 1200, Fit::ToWidth, true, 0, 0, 600, 800}};  // a portrait tie
  for (const auto& [sw, sh, w, h, fit, stretch, left, top, width, height] : cases) {
    const saver::PicturePlacement p = saver::FitPicture(sw, sh, w, h);
    EXPECT_EQ(std::tuple(p.fit, p.Stretch, p.Left, p.Top, p.Width, p.Height),
              std::tuple(fit, stretch, left, top, width, height))
        << sw << "x" << sh << " " << w << "x" << h;
  }
}

TEST(RunTimeErrors, ComeWithTheirCodes) {
  const auto fit = [](double sw, double sh, float w, float h) {
    return [=] { saver::FitPicture(sw, sh, w, h); };
  };
  const auto noData = [](std::uint32_t type) {
    return [=] {
      const std::uint8_t untouched[1] = {'x'};
      dialogs::DecodeKeyValue(type, untouched, 0, [](std::string_view) { return Text(); });
    };
  };
  constexpr ErrorCode kOverflow = ErrorCode::Overflow, kByZero = ErrorCode::DivisionByZero,
                      kInvalid = ErrorCode::InvalidArgument;
  const std::pair<std::function<void()>, ErrorCode> cases[] = {
      {fit(800, 600, 400, 0), kByZero},        // even though it "fits"
      {fit(800, 600, 0, 0), kOverflow},        // 0 / 0
      {fit(1e300, 600, 400, 300), kOverflow},  // beyond single precision
      {fit(800, 600, std::numeric_limits<float>::infinity(), 300), kOverflow},
      {fit(800, 600, std::nanf(""), 300), kOverflow},
      {fit(800, 600, 3e38f, 1e-38f), kOverflow},
      {[] { host::AddInt16(32767, 1); }, kOverflow},
      {[] { host::AddInt16(-32768, -1); }, kOverflow},
      {noData(host::win::kRegDword), kInvalid}};
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    try {
      cases[i].first();
      ADD_FAILURE() << "no error in case " << i;
    } catch (const host::RuntimeError& error) {
      EXPECT_EQ(error.code(), cases[i].second) << "case " << i;
    }
  }
}

}  // namespace
