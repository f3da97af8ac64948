// Main: which switch opens what, and that a second copy ends before it reads anything.
#include <gtest/gtest.h>

#include <tuple>

#include "support/sim_run.h"

namespace {

using namespace testing_support;

enum class Outcome { Saver, Dialog, Nothing, PasswordMessage };

Outcome StartWith(const host::Text& arguments, SimRun& run) {
  run.Start(arguments);
  if (!run.os.messageBoxes.empty()) return Outcome::PasswordMessage;
  if (run.module.Form1.IsVisible()) return Outcome::Saver;
  if (run.module.Form2.IsVisible()) return Outcome::Dialog;
  return Outcome::Nothing;
}

TEST(Startup, TheFirstTwoCharactersChooseWhatOpens) {
  const host::Text huge = u"/c" + host::Text(99998, u'x');
  const struct {
    const char* name;
    host::Text arguments;
    Outcome outcome;
  } cases[] = {
      {"/s", u"/s", Outcome::Saver},
      {"/S", u"/S", Outcome::Saver},
      {"unknown switch", u"/X", Outcome::Saver},
      {"slash alone", u"/", Outcome::Saver},
      {"blank before /c", u" /c", Outcome::Saver},
      {"full-width /C", u"／Ｃ", Outcome::Saver},
      {"full-width c", u"/ｃ", Outcome::Saver},
      {"NUL before c", host::Text(1, u'\0') + u"c", Outcome::Saver},
      {"lone surrogate before /c", u"\xD800/c", Outcome::Saver},
      {"/c", u"/c", Outcome::Dialog},
      {"/C", u"/C", Outcome::Dialog},
      {"100000 characters after /c", huge, Outcome::Dialog},
      {"nothing", u"", Outcome::Dialog},
      {"/P with a window", u"/P 1234", Outcome::Nothing},
      {"/p with a window", u"/p 1234", Outcome::Nothing},
      {"/A with a window", u"/A99", Outcome::PasswordMessage},
  };
  for (const auto& c : cases) {
    SimRun run;
    EXPECT_EQ(StartWith(c.arguments, run), c.outcome) << c.name;
    // A preview and a password request load no form and end the process.
    const bool ends = c.outcome == Outcome::Nothing || c.outcome == Outcome::PasswordMessage;
    EXPECT_EQ(run.os.Exited(), ends) << c.name;
    EXPECT_EQ(run.os.Calls({"CreateForm"}).empty(), ends) << c.name;
  }
}

TEST(Startup, PasswordRequestAnswersWithTheMessage) {
  SimRun run;
  run.Start(u"/a 1234");
  ASSERT_EQ(run.os.messageBoxes.size(), 1u);
  const sim::MessageBoxCall& box = run.os.messageBoxes[0];
  EXPECT_EQ(std::tuple(box.text, box.caption, box.flags),
            std::tuple(u"パスワードには対応しておりません。", u"ZARVO", 0u));
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
  const host::WindowId form = run.SaverWindow();
  // The first picture is prepared while the window is hidden; Show makes it
  // appear maximised (its design-time state) and Main maximises it again.
  EXPECT_EQ(
      Last(run.os.Calls({"BeginLoadPicture", "SetVisible", "Maximize"}), 3),
      (Lines{Call("Maximize", form), Call("SetVisible", form, "true"), Call("Maximize", form)}));
}

}  // namespace
