// Main: which switch opens what, and that a second copy ends before it reads anything.
#include <gtest/gtest.h>

#include <tuple>

#include "support/sim_run.h"

namespace {

using testing_support::SimRun;

enum class Outcome { Saver, Dialog, Nothing, PasswordMessage, OtherMessage };

Outcome StartWith(const host::Text& arguments, SimRun& run) {
  run.Start(arguments);
  const auto& boxes = run.os.messageBoxes;
  if (!boxes.empty()) {
    return boxes.size() == 1 && std::tie(boxes[0].text, boxes[0].caption, boxes[0].flags) ==
                                    std::tuple(u"パスワードには対応しておりません。", u"ZARVO", 0u)
               ? Outcome::PasswordMessage
               : Outcome::OtherMessage;
  }
  if (run.module.Form1.IsVisible()) return Outcome::Saver;
  if (run.module.Form2.IsVisible()) return Outcome::Dialog;
  return Outcome::Nothing;
}

TEST(Startup, TheFirstTwoCharactersChooseWhatOpens) {
  const struct {
    const char* name;
    host::Text arguments;
    Outcome outcome;
  } cases[] = {
      {"/s", u"/s", Outcome::Saver},
      {"blank before /c", u" /c", Outcome::Saver},
      {"/c", u"/c", Outcome::Dialog},
      {"nothing", u"", Outcome::Dialog},
      {"/p with a window", u"/p 1234", Outcome::Nothing},
      {"/a with a window", u"/a 1234", Outcome::PasswordMessage},
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

}  // namespace
