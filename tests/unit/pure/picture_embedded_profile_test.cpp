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

TEST(PictureEmbeddedProfile, JoinsJpegChunksBySequenceNumberOrNone) {
  const ByteVector a = {1, 2, 3, 4, 5}, b = {6, 7}, c = {8, 9, 10},
                   whole = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  EXPECT_EQ(Read(Jpeg({IccSegment(1, 1, whole)})), whole);
  EXPECT_EQ(Read(Jpeg({IccSegment(3, 3, c), Segment(0xE2, {'M', 'P', 'F', 0}), IccSegment(1, 3, a),
                       Segment(0xE1, {}), IccSegment(2, 3, b)})),
            whole);
  // One missing, one twice, counts that differ, sequence numbers 0 and above the count, no
  // chunks, nothing in them.
  const std::vector<ByteVector> refused[] = {
      {IccSegment(1, 3, a), IccSegment(3, 3, c)},
      {IccSegment(1, 2, a), IccSegment(1, 2, a), IccSegment(2, 2, b)},
      {IccSegment(1, 2, a), IccSegment(2, 3, b)},
      {IccSegment(0, 1, a)},
      {IccSegment(2, 1, a)},
      {IccSegment(1, 0, a)},
      {IccSegment(1, 1, {})}};
  for (const std::vector<ByteVector>& segments : refused) EXPECT_TRUE(Read(Jpeg(segments)).empty());
}

TEST(PictureEmbeddedProfile, ReadsTiffTagInBothByteOrdersOrNone) {
  const ByteVector profile(200, 0x5A);
  for (bool big : {false, true}) {
    EXPECT_EQ(Read(TiffWithProfile(big, 7, profile)), profile) << big;
    EXPECT_EQ(Read(TiffWithProfile(big, 1, profile)), profile) << big;
    // A LONG, one byte past the end, a count that wraps, a value too short to be an offset.
    EXPECT_TRUE(Read(TiffWithProfile(big, 4, profile)).empty()) << big;
    EXPECT_TRUE(Read(TiffWithProfile(big, 7, profile, 201)).empty()) << big;
    EXPECT_TRUE(Read(TiffWithProfile(big, 7, profile, 0xFFFFFFFF)).empty()) << big;
    EXPECT_TRUE(Read(TiffWithProfile(big, 7, {1, 2, 3, 4})).empty()) << big;
  }
}

TEST(PictureEmbeddedProfile, NoneInPngNorOverTheLimit) {
  EXPECT_TRUE(Read({0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 0}).empty());
  // 65 chunks of the largest a segment holds are just over the limit, 64 within it.
  std::vector<ByteVector> chunks;
  for (std::uint8_t i = 1; i <= 65; ++i) chunks.push_back(IccSegment(i, 65, ByteVector(65519, i)));
  EXPECT_TRUE(Read(Jpeg(chunks)).empty());
  chunks.pop_back();
  for (ByteVector& chunk : chunks) chunk[17] = 64;  // the count
  EXPECT_EQ(Read(Jpeg(chunks)).size(), 64u * 65519);
  EXPECT_TRUE(Read(TiffWithProfile(false, 7, ByteVector(kMaxProfileBytes + 1, 0))).empty());
}

}  // namespace
}  // namespace host::picture
