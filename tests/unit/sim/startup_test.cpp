// The switch rules of Main: which switch opens what, and that a second copy
// ends before it reads anything.
#include <gtest/gtest.h>

#include "support/sim_run.h"

namespace {

using testing_support::SimRun;

enum class Outcome { Saver, Dialog, Nothing, PasswordMessage };

Outcome StartWith(const host::Text& arguments, SimRun& run) {
  run.Start(arguments);
  if (!run.os.messageBoxes.empty()) return Outcome::PasswordMessage;
  if (run.module.Form1.IsVisible()) return Outcome::Saver;
  if (run.module.Form2.IsVisible()) return Outcome::Dialog;
  return Outcome::Nothing;
}

struct SwitchCase {
  const char16_t* arguments;
  Outcome outcome;
};

void PrintTo(const SwitchCase& c, std::ostream* out) {
  *out << '"' << host::ToUtf8(c.arguments) << '"';
}

class SwitchRule : public ::testing::TestWithParam<SwitchCase> {};

TEST_P(SwitchRule, OpensWhatTheFirstTwoCharactersAskFor) {
  SimRun run;
  EXPECT_EQ(StartWith(GetParam().arguments, run), GetParam().outcome)
      << host::ToUtf8(GetParam().arguments);
}

INSTANTIATE_TEST_SUITE_P(
    Switches, SwitchRule,
    ::testing::Values(SwitchCase{u"/s", Outcome::Saver}, SwitchCase{u"/S", Outcome::Saver},
                      SwitchCase{u"/s anything at all", Outcome::Saver},
                      SwitchCase{u"-s", Outcome::Saver}, SwitchCase{u"/X", Outcome::Saver},
                      SwitchCase{u"/", Outcome::Saver}, SwitchCase{u"x", Outcome::Saver},
                      SwitchCase{u"ab", Outcome::Saver}, SwitchCase{u" /c", Outcome::Saver},
                      SwitchCase{u"／Ｃ", Outcome::Saver}, SwitchCase{u"/ｃ", Outcome::Saver},
                      SwitchCase{u"/c", Outcome::Dialog}, SwitchCase{u"/C", Outcome::Dialog},
                      SwitchCase{u"/c:1234", Outcome::Dialog},
                      SwitchCase{u"/C 5678", Outcome::Dialog}, SwitchCase{u"", Outcome::Dialog},
                      SwitchCase{u"/p", Outcome::Nothing}, SwitchCase{u"/P 1234", Outcome::Nothing},
                      SwitchCase{u"/a", Outcome::PasswordMessage},
                      SwitchCase{u"/A99", Outcome::PasswordMessage}),
    [](const ::testing::TestParamInfo<SwitchCase>& info) {
      return "Case" + std::to_string(info.index);
    });

TEST(Startup, PasswordRequestAnswersWithTheMessageAndEnds) {
  SimRun run;
  run.Start(u"/a 1234");
  ASSERT_EQ(run.os.messageBoxes.size(), 1u);
  EXPECT_EQ(run.os.messageBoxes[0].text, u"パスワードには対応しておりません。");
  EXPECT_EQ(run.os.messageBoxes[0].caption, u"ZARVO");
  EXPECT_EQ(run.os.messageBoxes[0].flags, 0u);
  EXPECT_TRUE(run.os.Exited());
  EXPECT_TRUE(run.os.Calls({"CreateForm"}).empty());
}

TEST(Startup, PreviewLoadsNothingAndTheProcessEnds) {
  SimRun run;
  run.Start(u"/p 1234");
  EXPECT_TRUE(run.os.Exited());
  EXPECT_TRUE(run.os.Calls({"CreateForm", "MessageBox"}).empty());
}

TEST(Startup, SecondCopyEndsBeforeReadingTheCommandLine) {
  for (const char16_t* arguments : {u"/s", u"/c", u"/a", u"", u"/p"}) {
    SimRun run;
    run.os.anotherInstance = true;
    run.Start(arguments);
    EXPECT_TRUE(run.os.Exited());
    EXPECT_TRUE(run.os.Calls({"CommandArguments", "CreateForm", "MessageBox"}).empty())
        << host::ToUtf8(arguments);
  }
}

TEST(Startup, SaverIsShownAfterLoadThenMaximised) {
  SimRun run;
  run.Start(u"/s");
  const std::string form = testing_support::Id(run.SaverWindow());
  const auto calls = run.os.Calls({"BeginLoadPicture", "SetVisible", "Maximize"});
  // The first picture is prepared while the window is hidden; Show makes it
  // appear maximised (its design-time state) and Main maximises it again.
  const std::vector<std::string> tail(calls.end() - 3, calls.end());
  EXPECT_EQ(tail,
            (std::vector<std::string>{"Maximize(" + form + ")", "SetVisible(" + form + ", true)",
                                      "Maximize(" + form + ")"}));
  EXPECT_EQ(run.os.Calls({"BeginLoadPicture"}).front(),
            "BeginLoadPicture(\"C:\\WINDOWS\\ZARVO001.DAT\")");
}

TEST(Startup, LongAndOddCommandLinesAreHandledLikeAnyOther) {
  host::Text huge(100000, u'x');
  huge[0] = u'/';
  huge[1] = u'c';
  const host::Text odd[] = {huge, host::Text(1, u'\0') + u"c", host::Text(u"\xD800/c"),
                            u"\U0001F600"};
  {
    SimRun dialog;
    EXPECT_EQ(StartWith(odd[0], dialog), Outcome::Dialog);
  }
  for (std::size_t i = 1; i < std::size(odd); ++i) {
    SimRun run;
    EXPECT_EQ(StartWith(odd[i], run), Outcome::Saver);
  }
}

}  // namespace

namespace {

TEST(ConfigurationRun, OpensWithTheFocusOnOkAndEndsOnEnterOrEsc) {
  for (int key : {13, 27}) {
    SimRun run;
    run.Start(u"/c");
    const host::WindowId ok = run.module.Form2.Cmd_OK.Window();
    EXPECT_EQ(run.os.focus, ok);
    run.os.KeyDown(ok, key);
    EXPECT_TRUE(run.os.Exited()) << key;
  }
}

}  // namespace
