// The picture pipeline over one frame of the tests' own: stored layouts and
// the converter, the reduced decode and its fallback, orientation, a GIF's
// canvas, bands, abandon, the budget and the profile (Little CMS's).
#include "host/picture/pipeline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <string>

#include "host/picture/resample.h"
#include "support/lcms_profiles.h"
#include "support/picture_bytes.h"
#include "support/picture_patterns.h"

namespace {

using namespace host::picture;
using host::ErrorCode;
using testing_support::All;

// A w x h frame of smooth colour (grey with `grey`) in a stored layout,
// converting an Other one on request; offering, with `offers`, the halves,
// quarters and eighths (rounded up) its decoder reduces to, each when asked
// for exactly.
struct FakeFrame final : Frame {
  FakeFrame(int w, int h, Stored layout, bool grey = false)
      : size{w, h}, stored(layout), grey(grey) {}
  FrameSize size;
  Stored stored;
  bool grey, offers = false;
  std::vector<Stored> converts{Stored::Pbgra32, Stored::Bgra32};
  std::optional<ErrorCode> reducedFails;  // the reduced decode fails so
  std::atomic<bool>* abandonOnCopy = nullptr;
  std::vector<int> copies;  // first row of each, of this frame and its reduced one
  std::vector<int>* log = &copies;
  std::vector<FrameSize> asked;
  std::optional<FrameSize> reducedTo;

  FrameSize Size() const override { return size; }
  Stored Layout() const override { return stored; }
  bool ConvertTo(Stored to) override {
    if (std::ranges::count(converts, to) == 0) return false;
    return stored = to, true;
  }
  // Each sample as its letter says, in capitals with 16 bits; '.' is padding.
  void CopyRows(int y, int rows, std::size_t stride, void* out) override {
    log->push_back(y);
    if (abandonOnCopy) *abandonOnCopy = true;
    const char* kOrders[] = {"bgr",  "r",    "bgr.", "bgra", "bgra", "RGB", "BGR",
                             "RGB.", "RGBA", "BGRA", "RGBA", "BGRA", "R",   nullptr};
    const char* order = kOrders[static_cast<int>(stored)];
    ASSERT_TRUE(order) << "read before it was converted";
    const int bytes = std::isupper(order[0]) ? 2 : 1, samples = static_cast<int>(strlen(order));
    int pick[4];  // into v below
    for (int i = 0; i < samples; ++i) {
      pick[i] =
          static_cast<int>(std::string("rgba.").find(static_cast<char>(std::tolower(order[i]))));
      if (grey && pick[i] < 3) pick[i] = 0;
    }
    for (int k = 0; k < rows; ++k) {
      auto* at = static_cast<std::uint8_t*>(out) + k * stride;
      for (int x = 0; x < size.width; ++x) {
        const int v[] = {x * 255 / size.width, (y + k) * 255 / size.height, (x + y + k) % 256, 255,
                         0};
        for (int i = 0; i < samples; ++i, at += bytes) {
          const auto sample = static_cast<std::uint16_t>(v[pick[i]] * (bytes == 2 ? 257 : 1));
          std::memcpy(at, &sample, bytes);  // little-endian
        }
      }
    }
  }
  std::optional<FrameSize> ClosestSize(FrameSize wanted) override {
    asked.push_back(wanted);
    if (!offers) return std::nullopt;
    for (int d : {8, 4, 2}) {
      const FrameSize s{(size.width + d - 1) / d, (size.height + d - 1) / d};
      if (s == wanted) return s;
    }
    return size;
  }
  std::unique_ptr<Frame> Reduced(FrameSize to) override {
    reducedTo = to;
    if (reducedFails) Fail(*reducedFails);
    auto reduced = std::make_unique<FakeFrame>(to.width, to.height, stored, grey);
    reduced->log = log;
    return reduced;
  }
};

Layout Plain(FakeFrame& f, int orientation = kUpright) {
  return LayOut(f.size.width, f.size.height, {}, {}, orientation);
}

std::vector<Pixel> Read(FakeFrame& f, int orientation, FrameSize screen, int band = 0,
                        const ColourProfile* profile = nullptr) {
  return All(ReadPixels(f, Plain(f, orientation), {screen, nullptr, profile}, band));
}

TEST(PicturePipeline, EveryStoredLayoutAndTheConverterGiveThePicture) {
  const auto p3 = ColourProfile::Parse(testing_support::RgbProfile(
      testing_support::kDisplayP3, testing_support::Parametric(0, {1.8}), 4.3));
  for (const ColourProfile* profile : {static_cast<const ColourProfile*>(nullptr), &*p3}) {
    for (int s = 0; s <= static_cast<int>(Stored::Other); ++s) {
      for (const auto& converts :
           {std::vector{Stored::Bgra32}, std::vector{Stored::Pbgra32, Stored::Bgra32}}) {
        const Stored stored = static_cast<Stored>(s);
        const bool grey = stored == Stored::Grey8 || stored == Stored::Grey16;
        SCOPED_TRACE(testing::Message() << s << (profile ? " with a profile" : ""));
        FakeFrame frame(9, 7, stored, grey), reference(9, 7, Stored::Bgr24, grey);
        frame.converts = converts;
        for (FrameSize screen : {FrameSize{9, 7}, FrameSize{3, 2}}) {  // kept whole, or reduced
          EXPECT_EQ(Read(frame, kUpright, screen, 0, profile),
                    Read(reference, kUpright, screen, 0, profile));
        }
        EXPECT_EQ(frame.stored, stored == Stored::Other ? converts[0] : stored);
      }
    }
  }
  FakeFrame unconvertible(9, 7, Stored::Other);
  unconvertible.converts.clear();
  EXPECT_THROW(Read(unconvertible, kUpright, {9, 7}), Failure);
}

TEST(PicturePipeline, TheDecoderReducesToTheSmallestCoveringSizeElseTheFullOneIsRead) {
  const struct {
    const char* name;
    int orientation;
    FrameSize screen;
    bool offers;
    std::optional<ErrorCode> fails;
    std::optional<FrameSize> reduced;  // read at that size
    bool thrown = false;
  } cases[] = {
      {"a half covers 591 x 300", kUpright, {600, 300}, true, {}, FrameSize{1024, 520}},
      {"an eighth exactly", kUpright, {256, 130}, true, {}, FrameSize{256, 130}},
      {"turned a quarter", 6, {300, 600}, true, {}, FrameSize{1024, 520}},
      {"offers no size", kUpright, {600, 300}, false, {}, {}},
      {"fails at the reduced size", kUpright, {600, 300}, true, ErrorCode::InvalidPicture, {}},
      {"no memory: not read again", kUpright, {600, 300}, true, ErrorCode::OutOfMemory, {}, true},
      {"a screen of no size", kUpright, {0, 0}, true, {}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeFrame frame(2048, 1040, Stored::Bgr24);  // a half is over 1 MiB
    frame.offers = c.offers, frame.reducedFails = c.fails;
    if (c.thrown) {
      EXPECT_THROW(Read(frame, c.orientation, c.screen), Failure);
      EXPECT_TRUE(frame.copies.empty());
      continue;
    }
    const std::vector<Pixel> got = Read(frame, c.orientation, c.screen);
    EXPECT_EQ(frame.asked.empty(), c.screen.width == 0);
    EXPECT_EQ(frame.reducedTo.has_value(), c.reduced || c.fails);
    FakeFrame plain(c.reduced ? c.reduced->width : 2048, c.reduced ? c.reduced->height : 1040,
                    Stored::Bgr24);
    EXPECT_EQ(got, Read(plain, c.orientation, c.screen));
    if (c.reduced) {
      EXPECT_EQ(frame.reducedTo, c.reduced);
      EXPECT_EQ(frame.copies, std::vector{0});  // in one piece, the full frame never
    }
  }
}

TEST(PicturePipeline, BandsOrientationCanvasAndAbandon) {
  for (int orientation = 1; orientation <= 8; ++orientation) {
    for (FrameSize screen : {FrameSize{40, 30}, FrameSize{9, 6}}) {  // kept whole, or reduced
      SCOPED_TRACE(testing::Message() << orientation << " on " << screen.width);
      FakeFrame frame(23, 17, Stored::Bgr24), upright(23, 17, Stored::Bgr24);
      const std::vector<Pixel> got = Read(frame, orientation, screen, 5);
      EXPECT_EQ(frame.copies, (std::vector{0, 5, 10, 15}));
      const FrameSize turnedScreen =
          SwapsAxes(orientation) ? FrameSize{screen.height, screen.width} : screen;
      const PixelBuffer turned = ReadPixels(upright, Plain(upright), {turnedScreen}, 3);
      EXPECT_EQ(got, All(Orient(turned.View(), orientation)));
    }
  }
  PictureHeader gif{PictureFormat::Gif, 30, 25, 4, 6, 23, 17};
  FakeFrame frame(23, 17, Stored::Bgr24), plain(23, 17, Stored::Bgr24);
  frame.offers = true;
  const Layout placed = LayOut(23, 17, gif, {}, 6);
  EXPECT_EQ(placed.orientation, kUpright);
  const PixelBuffer canvas = ReadPixels(frame, placed, {{8, 8}});
  const PixelBuffer inside = ReadPixels(plain, Plain(plain), {{30, 20}});
  EXPECT_TRUE(frame.asked.empty());
  PixelBuffer expected(30, 25);
  expected.Fill(kOpaqueBlack);
  for (int y = 0; y < 17; ++y) std::copy_n(inside.Row(y), 23, expected.Row(y + 6) + 4);
  EXPECT_EQ(All(canvas), All(expected));
  for (FrameSize screen : {FrameSize{30, 20}, FrameSize{4, 4}}) {
    std::atomic<bool> abandoned{false};
    FakeFrame abandoning(23, 17, Stored::Bgr24);
    abandoning.abandonOnCopy = &abandoned;
    EXPECT_THROW(ReadPixels(abandoning, Plain(abandoning), {screen, &abandoned}, 4), Failure);
    EXPECT_EQ(abandoning.copies.size(), 1u);
  }
  EXPECT_THROW(LayOut(8193, 8193, {}, {}, 0), Failure);
  EXPECT_THROW(LayOut(23, 17, {PictureFormat::Gif, 9000, 8000, 0, 0, 23, 17}, {}, 0), Failure);
  // The codec's orientation first, else our own reading of the file.
  const testing_support::ByteVector tiff = testing_support::Tiff(false, {{0x0112, 3, 1, 6}});
  EXPECT_EQ(LayOut(23, 17, {}, tiff, 0).orientation, 6);
  EXPECT_EQ(LayOut(23, 17, {}, tiff, 3).orientation, 3);
}

TEST(PicturePipeline, AProfileAppliesWhereItIsOfTheFramesSpace) {
  using namespace testing_support;
  const ByteVector p3 = RgbProfile(kDisplayP3, SrgbCurve(), 4.3);
  const ByteVector srgb = RgbProfile(kSrgbPrimaries, SrgbCurve(), 4.3);
  const ByteVector grey = GreyProfile(Parametric(0, {1.8}), 4.3);
  EXPECT_TRUE(ChooseProfile(p3, {}, false));
  EXPECT_FALSE(ChooseProfile(p3, {}, true));
  EXPECT_TRUE(ChooseProfile(grey, {}, true));
  EXPECT_FALSE(ChooseProfile(grey, {}, false));
  EXPECT_FALSE(ChooseProfile(srgb, {}, false));
  const auto profile = ColourProfile::Parse(p3);
  PixelBuffer pixels = testing_support::NoisePattern(6, 4), bitmap(6, 4), scaled(6, 4);
  EXPECT_FALSE(PreparedSize(FrameSize{6, 4}, pixels, nullptr));
  EXPECT_EQ(PreparedSize(FrameSize{6, 4}, pixels, &*profile), (FrameSize{6, 4}));
  EXPECT_EQ(PreparedSize(FrameSize{3, 2}, pixels, nullptr), (FrameSize{3, 2}));
  Render(pixels, &*profile, bitmap.Target(), nullptr);
  Resample(pixels.View(), scaled.Target(), 1, &*profile);
  EXPECT_EQ(All(bitmap), All(scaled));
}

}  // namespace
