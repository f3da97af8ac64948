// The naming and fitting rules, bit for bit (also built with SSE2 and run under Wine).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>

#include "host/runtime.h"
#include "saver/picture_rules.h"

namespace {

using namespace saver;

TEST(PictureFileName, FolderAndNumberMakeTheName) {
  EXPECT_EQ(PictureFileName(u"C:\\WINDOWS\\system32", 1), u"C:\\WINDOWS\\system32\\ZARVO001.DAT");
  EXPECT_EQ(PictureFileName(u"C:\\WINDOWS", 50), u"C:\\WINDOWS\\ZARVO050.DAT");
  EXPECT_EQ(PictureFileName(u"Y:\\", 7), u"Y:\\ZARVO007.DAT");  // a drive root: no second "\"
  EXPECT_EQ(PictureFileName(u"\\\\server\\share", 12), u"\\\\server\\share\\ZARVO012.DAT");
  EXPECT_EQ(PictureFileName(u"C:\\写真", 123), u"C:\\写真\\ZARVO123.DAT");
  EXPECT_EQ(PictureFileName(u"C:\\x", 1000), u"C:\\x\\ZARVO1000.DAT");
  EXPECT_EQ(PictureFileName(u"C:\\x/", 1), u"C:\\x/\\ZARVO001.DAT");  // only "\" counts
}

TEST(FitPicture, WorkedValuesComeOutBitForBit) {
  const struct {
    const char* name;
    double screenWidth, screenHeight;
    float width, height;
    Fit fit;
    bool stretch;
    float left, top, placedWidth, placedHeight;
  } cases[] = {{"smaller", 800, 600, 400, 300, Fit::NaturalSize, false, 200, 150, 400, 300},
               {"just smaller", 800, 600, 799, 599, Fit::NaturalSize, false, 0.5f, 0.5f, 799, 599},
               {"wide", 800, 600, 1600, 800, Fit::ToWidth, true, 0, 100, 800, 400},
               {"tall", 800, 600, 300, 1200, Fit::ToHeight, true, 325, 0, 150, 600},
               {"square", 800, 600, 1000, 1000, Fit::ToHeight, true, 100, 0, 600, 600},
               {"landscape tie", 800, 600, 1200, 900, Fit::ToHeight, true, 0, 0, 800, 600},
               {"screen size", 800, 600, 800, 600, Fit::ToHeight, true, 0, 0, 800, 600},
               {"same width", 800, 600, 800, 300, Fit::ToWidth, true, 0, 150, 800, 300},
               {"same height", 800, 600, 300, 600, Fit::ToHeight, true, 250, 0, 300, 600},
               {"single rounding", 800, 600, 900, 500, Fit::ToWidth, true, 0, 77.77777099609375f,
                800, 444.4444580078125f},
               {"portrait tie", 600, 800, 900, 1200, Fit::ToWidth, true, 0, 0, 600, 800},
               {"camera", 1920, 1080, 6000, 4000, Fit::ToHeight, true, 150, 0, 1620, 1080}};
  for (const auto& c : cases) {
    const PicturePlacement p = FitPicture(c.screenWidth, c.screenHeight, c.width, c.height);
    EXPECT_EQ(std::tuple(p.fit, p.Stretch, p.Left, p.Top, p.Width, p.Height),
              std::tuple(c.fit, c.stretch, c.left, c.top, c.placedWidth, c.placedHeight))
        << c.name;
  }
}

void ExpectError(double sw, double sh, float w, float h, host::ErrorCode code) {
  try {
    FitPicture(sw, sh, w, h);
    ADD_FAILURE() << "no error for " << sw << " " << sh << " " << w << " " << h;
  } catch (const host::RuntimeError& error) {
    EXPECT_EQ(error.code(), code) << sw << " " << sh << " " << w << " " << h;
  }
}

TEST(FitPicture, ZeroAndOverflowingInputsAreRunTimeErrors) {
  ExpectError(800, 600, 400, 0, host::ErrorCode::DivisionByZero);  // even though it "fits"
  ExpectError(800, 600, 0, 0, host::ErrorCode::Overflow);          // 0 / 0
  ExpectError(800, 0, 1000, 1000, host::ErrorCode::DivisionByZero);
  ExpectError(0, 0, 1000, 1000, host::ErrorCode::Overflow);
  ExpectError(1e300, 600, 400, 300, host::ErrorCode::Overflow);  // beyond single precision
  ExpectError(800, 600, std::numeric_limits<float>::infinity(), 300, host::ErrorCode::Overflow);
  ExpectError(800, 600, std::nanf(""), 300, host::ErrorCode::Overflow);
  ExpectError(800, 600, 3e38f, 1e-38f, host::ErrorCode::Overflow);
}

TEST(FitPicture, ZeroWidthPictureIsPlacedAtItsNaturalSize) {
  const PicturePlacement p = FitPicture(800, 600, 0, 10);
  EXPECT_EQ(std::tuple(p.fit, p.Left), std::tuple(Fit::NaturalSize, 400.0f));
}

TEST(SixteenBitArithmetic, SumBeyondTheRangeIsAnOverflow) {
  EXPECT_EQ(host::AddInt16(32766, 1), 32767);
  EXPECT_THROW(host::AddInt16(32767, 1), host::RuntimeError);
  EXPECT_THROW(host::AddInt16(-32768, -1), host::RuntimeError);
}

}  // namespace
