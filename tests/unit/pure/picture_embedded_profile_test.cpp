// Profile bytes found in JPEG APP2 chunks and TIFF tag 34675, and refused when they do not add up.
#include <gtest/gtest.h>

#include "host/picture/embedded_profile.h"
#include "support/picture_bytes.h"

namespace host::picture {
namespace {

using namespace testing_support;

ByteVector Read(const ByteVector& file) {
  return ReadEmbeddedProfile(Bytes(file.data(), file.size()));
}

const ByteVector kA = {1, 2, 3, 4, 5}, kB = {6, 7}, kC = {8, 9, 10};

TEST(PictureEmbeddedProfile, JoinsJpegChunksBySequenceNumber) {
  const ByteVector whole = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  EXPECT_EQ(Read(Jpeg({IccSegment(1, 1, whole)})), whole);
  EXPECT_EQ(Read(Jpeg({IccSegment(3, 3, kC), Segment(0xE2, {'M', 'P', 'F', 0}),
                       IccSegment(1, 3, kA), Segment(0xE1, {}), IccSegment(2, 3, kB)})),
            whole);
}

TEST(PictureEmbeddedProfile, JpegChunksThatDoNotAddUpGiveNone) {
  const std::vector<ByteVector> cases[] = {
      {IccSegment(1, 3, kA), IccSegment(3, 3, kC)},                        // one missing
      {IccSegment(1, 2, kA), IccSegment(1, 2, kA), IccSegment(2, 2, kB)},  // given twice
      {IccSegment(1, 2, kA), IccSegment(2, 3, kB)},                        // counts differ
      {IccSegment(0, 1, kA)},
      {IccSegment(2, 1, kA)},
      {IccSegment(1, 0, kA)},
      {IccSegment(1, 1, {})}};
  for (const std::vector<ByteVector>& segments : cases) EXPECT_TRUE(Read(Jpeg(segments)).empty());
  // Every prefix gives the whole profile or none.
  const ByteVector jpeg = Jpeg({IccSegment(2, 2, kB), IccSegment(1, 2, kA)});
  for (std::size_t n = 0; n < jpeg.size(); ++n) {
    ByteVector cut(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(n));
    cut.shrink_to_fit();
    const ByteVector profile = Read(cut);
    EXPECT_TRUE(profile.empty() || profile == ByteVector({1, 2, 3, 4, 5, 6, 7})) << n;
  }
}

TEST(PictureEmbeddedProfile, ReadsTiffTagInBothByteOrders) {
  const ByteVector profile(200, 0x5A);
  for (bool big : {false, true}) {
    EXPECT_EQ(Read(TiffWithProfile(big, 7, profile)), profile) << big;
    EXPECT_EQ(Read(TiffWithProfile(big, 1, profile)), profile) << big;
    EXPECT_TRUE(Read(TiffWithProfile(big, 4, profile)).empty()) << big;
    EXPECT_TRUE(Read(TiffWithProfile(big, 7, profile, 201)).empty()) << big;
    EXPECT_TRUE(Read(TiffWithProfile(big, 7, profile, 0xFFFFFFFF)).empty()) << big;
    EXPECT_TRUE(Read(TiffWithProfile(big, 7, {1, 2, 3, 4})).empty()) << big;
  }
}

TEST(PictureEmbeddedProfile, OtherFormatsAndOversizedProfilesGiveNone) {
  EXPECT_TRUE(Read({0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 0}).empty());
  // 65 chunks of the largest a segment holds: just over the limit.
  std::vector<ByteVector> chunks;
  for (std::uint8_t i = 1; i <= 65; ++i) chunks.push_back(IccSegment(i, 65, ByteVector(65519, i)));
  EXPECT_TRUE(Read(Jpeg(chunks)).empty());
  chunks.pop_back();
  for (ByteVector& chunk : chunks) chunk[17] = 64;  // the count: 64 chunks are within it
  EXPECT_EQ(Read(Jpeg(chunks)).size(), 64u * 65519);
  EXPECT_TRUE(Read(TiffWithProfile(false, 7, ByteVector(kMaxProfileBytes + 1, 0))).empty());
}

}  // namespace
}  // namespace host::picture
