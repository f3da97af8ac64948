// The texts the About box shows: version line, copyright lines, caption.
#include <gtest/gtest.h>

#include "dialogs/about_text.h"

namespace {

TEST(DialogAboutText, VersionNumbersArePlainDecimalWithHalfWidthKatakana) {
  EXPECT_EQ(dialogs::VersionLine(10, 2, 15), u"ﾊﾞｰｼﾞｮﾝ 10.2.15");
  EXPECT_EQ(dialogs::VersionLine(1, 0, 0), u"ﾊﾞｰｼﾞｮﾝ 1.0.0");
  EXPECT_EQ(dialogs::VersionLine(-1, 0, 32767), u"ﾊﾞｰｼﾞｮﾝ -1.0.32767");
  // Seven half-width characters, one blank, then the numbers.
  EXPECT_EQ(dialogs::VersionLine(1, 2, 3).substr(0, 8),
            u"\uFF8A\uFF9E\uFF70\uFF7C\uFF9E\uFF6E\uFF9D ");
}

TEST(DialogAboutText, EachPairOfBlanksInTheCopyrightBecomesALineBreak) {
  EXPECT_EQ(dialogs::CopyrightLines(u"Copyright (C) 2001  Zarvo Works"),
            u"Copyright (C) 2001\r\nZarvo Works");
  EXPECT_EQ(dialogs::CopyrightLines(u"a   b"), u"a\r\n b");
  EXPECT_EQ(dialogs::CopyrightLines(u"a    b"), u"a\r\n\r\nb");
  EXPECT_EQ(dialogs::CopyrightLines(u"Copyright (C) 2001 Zarvo"), u"Copyright (C) 2001 Zarvo");
  EXPECT_EQ(dialogs::CopyrightLines(u""), u"");
  // Full-width blanks are other characters and stay.
  EXPECT_EQ(dialogs::CopyrightLines(u"a\u3000\u3000b"), u"a\u3000\u3000b");
}

TEST(DialogAboutText, CaptionIsTheTitleFollowedByTheSuffix) {
  EXPECT_EQ(dialogs::AboutCaption(u"ZARVO"), u"ZARVOのﾊﾞｰｼﾞｮﾝ情報");
  EXPECT_EQ(dialogs::AboutCaption(u""), u"のﾊﾞｰｼﾞｮﾝ情報");
}

}  // namespace
