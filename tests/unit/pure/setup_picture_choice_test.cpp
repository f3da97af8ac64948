// Which files of a folder the setup program copies, in which order, into
// which of the fifty names (also built with SSE2 and run under Wine).
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "setup/picture_choice.h"
#include "support/picture_bytes.h"

namespace {

using namespace setup;
using testing_support::ByteVector;

TEST(SortByName, FollowsExplorersOrder) {
  // Windows' documentation gives the orders of the "string" and "Ie" names.
  const std::u16string order =
      u"2string|3string|20string|Ie4_01|Ie4_128|Ie5|Ie6|Ie401sp2|Ie501sp2|IMG_9.jpg|img_010.jpg|"
      u"img_10.jpg|IMG_11.JPG|photo|photo1|photo 2|photo_1|st2ring|st3ring|st20ring|string2|"
      u"string3|string20|x99999999999999999999|x100000000000000000000|写真２.png|写真10.png|ｚ1|"
      u"Ｚ2";
  std::vector<std::u16string> expected;
  for (std::size_t from = 0, bar = 0; bar != std::u16string::npos; from = bar + 1) {
    bar = order.find(u'|', from);
    expected.push_back(order.substr(from, bar - from));
  }
  std::vector<FoundFile> files;
  for (auto it = expected.rbegin(); it != expected.rend(); ++it) files.push_back({*it, 0});
  std::rotate(files.begin(), files.begin() + 7, files.end());
  SortByName(files);
  std::vector<std::u16string> names;
  for (const FoundFile& f : files) names.push_back(f.name);
  EXPECT_EQ(names, expected);
}

TEST(CompareNames, IgnoresCaseInLatinGreekAndCyrillic) {
  EXPECT_EQ(CompareNames(u"ÉCOLE ΩΜΕΓΑ ДОМ ЁЖ", u"école ωμεγα дом ёж"), 0);
  EXPECT_LT(CompareNames(u"Ö", u"ø"), 0);  // U+00F6 before U+00F8, whatever the case
  EXPECT_NE(CompareNames(u"×", u"÷"), 0);  // signs, not letters
}

TEST(IsSlotFile, TheFiftyNamesAndTheirPassingNamesOnly) {
  for (const char16_t* name :
       {u"ZARVO001.DAT", u"zarvo050.dat", u"Zarvo025.Dat.new", u"ZARVO025.DAT.OLD"}) {
    EXPECT_TRUE(IsSlotFile(name)) << testing::PrintToString(std::u16string(name));
  }
  for (const char16_t* name :
       {u"ZARVO000.DAT", u"ZARVO051.DAT", u"ZARVO01.DAT", u"ZARVO0001.DAT", u"ZARVO0a1.DAT",
        u"ZARVO001.DAT.bak", u"ZARVO001.DAT.new.new", u"xZARVO001.DAT", u"ZARVO"}) {
    EXPECT_FALSE(IsSlotFile(name)) << testing::PrintToString(std::u16string(name));
  }
}

TEST(JudgeContent, TheHeadSettlesItUnlessCutShortAnIconOrAFormatOnlyCodecsKnow) {
  using testing_support::Segment;
  const ByteVector jpeg = testing_support::Jpeg({Segment(0xC0, {8, 0, 20, 0, 30, 1, 1, 0x11, 0})});
  const ByteVector huge = testing_support::Jpeg({Segment(0xC0, {8, 0xFF, 0, 0xFF, 0, 1})});
  const ByteVector tiff = testing_support::Tiff(false, {{256, 3, 1, 640}, {257, 3, 1, 480}});
  const ByteVector text = {'J', 'F', 'I', 'F', ' ', 'n', 'o', 't', 'e', 's', '\r', '\n'};
  const ByteVector icon = {0, 0, 1, 0, 1, 0, 16, 16, 0, 0, 1, 0, 32, 0, 40, 0, 0, 0, 22, 0, 0, 0};
  const std::span<const std::uint8_t> tiffHead(tiff.data(), 10);
  EXPECT_EQ(JudgeContent(jpeg, jpeg.size()), Content::Picture);
  EXPECT_EQ(JudgeContent(jpeg, 5u << 20), Content::Picture);
  EXPECT_EQ(JudgeContent(huge, 5u << 20), Content::NotPicture);
  EXPECT_EQ(JudgeContent(text, text.size()), Content::AskCodecs);
  EXPECT_EQ(JudgeContent(tiffHead, tiff.size()), Content::AskCodecs);
  EXPECT_EQ(JudgeContent(tiff, tiff.size()), Content::Picture);
  EXPECT_EQ(JudgeContent(tiffHead, tiffHead.size()), Content::NotPicture);
  EXPECT_EQ(JudgeContent(icon, 5u << 20), Content::AskCodecs);
  EXPECT_EQ(JudgeContent(ByteVector{0x89, 'P', 'N'}, 5u << 20), Content::AskCodecs);
}

TEST(SourceOfSlot, FewPicturesTakeTurnsManyAreSpreadFromTheFirst) {
  const std::size_t cases[][3] = {// slot, pictures, source
                                  {49, 1, 0},   {17, 50, 17}, {49, 50, 49}, {0, 3, 0},
                                  {1, 3, 1},    {3, 3, 0},    {49, 3, 1},   {3, 53, 3},
                                  {17, 53, 18}, {49, 53, 51}, {49, 100, 98}};
  for (const auto& [slot, count, source] : cases) {
    EXPECT_EQ(SourceOfSlot(static_cast<int>(slot), count), source) << slot << " of " << count;
  }
  EXPECT_EQ(SourceOfSlot(49, 4000000000u), 3920000000u);  // no overflow of a 32-bit product
  EXPECT_EQ(CopiesSize({{u"a", 1}, {u"b", 10}, {u"c", 100}}), 17u * 1 + 17 * 10 + 16 * 100);
}

}  // namespace
