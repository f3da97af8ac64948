// The toolkit's text functions.
#include <gtest/gtest.h>

#include "host/text.h"

namespace {

TEST(Text, FunctionsGiveWhatTheirNamesSay) {
  const struct {
    const char* name;
    host::Text got, expected;
  } cases[] = {
      {"Replace takes each pair in turn", host::Replace(u"a  b   c    d", u"  ", u"\r\n"),
       u"a\r\nb\r\n c\r\n\r\nd"},
      {"Replace of an empty pattern changes nothing", host::Replace(u"abc", u"", u"x"), u"abc"},
      {"UCase of ASCII and full-width letters only", host::UCase(u"/sｓé"), u"/SＳé"},
      {"Str of the smallest 16-bit number", host::Str(-32768), u"-32768"},
      {"UTF-8 there and back", host::FromUtf8(host::ToUtf8(u"設定 \U0001F600 abc")),
       u"設定 \U0001F600 abc"},
      {"UTF-8 that is not", host::FromUtf8("\xFF\xC3"), u"\uFFFD\uFFFD"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.expected) << c.name;
}

}  // namespace
