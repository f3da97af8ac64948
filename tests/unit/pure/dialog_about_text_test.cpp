// The texts the About box shows: version line, copyright lines.
#include <gtest/gtest.h>

#include "dialogs/about_text.h"

namespace {

TEST(DialogAboutText, VersionNumbersArePlainDecimalAfterHalfWidthKatakana) {
  EXPECT_EQ(dialogs::VersionLine(10, 2, 15), u"ﾊﾞｰｼﾞｮﾝ 10.2.15");
  EXPECT_EQ(dialogs::VersionLine(-1, 0, 32767), u"ﾊﾞｰｼﾞｮﾝ -1.0.32767");
}

TEST(DialogAboutText, EachPairOfBlanksInTheCopyrightBecomesALineBreak) {
  const struct {
    const char16_t *copyright, *lines;
  } cases[] = {{u"Copyright (C) 2001  Zarvo Works", u"Copyright (C) 2001\r\nZarvo Works"},
               {u"a   b", u"a\r\n b"},
               {u"a    b", u"a\r\n\r\nb"},
               {u"Copyright (C) 2001 Zarvo", u"Copyright (C) 2001 Zarvo"},
               {u"", u""},
               {u"a\u3000\u3000b", u"a\u3000\u3000b"}};  // full-width blanks stay
  for (const auto& c : cases) EXPECT_EQ(dialogs::CopyrightLines(c.copyright), c.lines);
}

}  // namespace
