// The saver window on the simulated desktop: what it takes from the desktop
// and in which order, the input rules that end it, and that every way of
// ending gives the desktop back exactly once.
#include <gtest/gtest.h>

#include <thread>

#include "support/sim_run.h"

namespace {

using testing_support::Id;
using testing_support::SimRun;

// The desktop as the saver must leave it.
void ExpectDesktopRestored(SimRun& run, host::WindowId tray) {
  EXPECT_TRUE(run.os.Exited());
  EXPECT_EQ(run.os.cursorCount, 0);
  EXPECT_TRUE(run.os.Find(tray)->visible);
  EXPECT_EQ(run.Count("ShowCursor(-1)"), 1);
  EXPECT_EQ(run.Count("SetWindowPos(" + Id(tray) + ", 0, 0, 0, 0, 0, 64)"), 1);
  EXPECT_EQ(run.os.Calls({"ImmAssociateContext"}).size(), 2u);
  EXPECT_TRUE(run.os.screenSaveActive);  // screen saving stays switched on
}

class Saver : public ::testing::Test {
 protected:
  void SetUp() override {
    tray = run.os.AddTrayWindow();
    run.Start(u"/s");
    form = run.SaverWindow();
    ASSERT_NE(form, 0u);
  }
  void ExpectDesktopRestored() { ::ExpectDesktopRestored(run, tray); }

  SimRun run;
  host::WindowId tray = 0;
  host::WindowId form = 0;
};

TEST_F(Saver, LoadTakesTheDesktopInOrderWithTheExactArguments) {
  const std::string f = Id(form);
  const std::vector<std::string> expected = {
      "SystemParametersInfoA(17, -1, \"\", 0)",
      "ShowCursor(0)",
      "ImmAssociateContext(" + f + ", 0)",
      "FindWindowA(\"Shell_traywnd\", \"\")",
      "SetWindowPos(" + Id(tray) + ", 0, 0, 0, 0, 0, 128)",
      "SetWindowPos(" + f + ", -1, 0, 0, 0, 0, 3)",
      "Refresh(" + f + ")",
      "BeginLoadPicture(\"C:\\WINDOWS\\ZARVO001.DAT\")",
  };
  EXPECT_EQ(run.os.Calls({"SystemParametersInfoA", "ShowCursor", "ImmAssociateContext",
                          "FindWindowA", "SetWindowPos", "Refresh", "BeginLoadPicture"}),
            expected);
  EXPECT_EQ(run.module.Form1.PictureIndex, 2);
  EXPECT_EQ(run.module.Form1.PictureCount, 50);
  EXPECT_EQ(run.module.Form1.FirstMouseMove, host::kTrue);
}

TEST_F(Saver, WindowIsABlackBorderlessTopMostCoverOfTheScreen) {
  const sim::Window& w = *run.os.Find(form);
  EXPECT_EQ(w.form.border, host::BorderStyle::None);
  EXPECT_FALSE(w.form.showInTaskbar);
  EXPECT_TRUE(w.form.refusesScreenSaver);
  EXPECT_EQ(w.backColor, 0u);
  EXPECT_TRUE(w.topmost);
  EXPECT_TRUE(w.visible);
  EXPECT_TRUE(w.maximized);
  EXPECT_EQ(w.bounds, (host::RectPx{0, 0, 800, 600}));
  EXPECT_EQ(run.os.cursorCount, -1);
  EXPECT_FALSE(run.os.Find(tray)->visible);
  EXPECT_EQ(w.imeContext, 0u);
}

// Each on a fresh run: any key (Enter and Esc too: the saver has no
// buttons) or any mouse button, on the form or on the picture.
TEST(SaverInput, EveryKeyAndButtonEndsIt) {
  const struct {
    const char* name;
    int key, shift, button;  // a key, or else a button
    bool onPicture;
  } inputs[] = {
      // clang-format off
      {"A", 'A', 0, 0, false}, {"Enter", 13, 0, 0, false}, {"Esc", 27, 0, 0, false},
      {"space", 32, 0, 0, false}, {"F1", 112, 0, 0, false}, {"Shift", 16, 1, 0, false},
      {"left", 0, 0, 1, false}, {"right", 0, 0, 2, false}, {"middle", 0, 0, 4, false},
      {"left on the picture", 0, 0, 1, true}, {"right on the picture", 0, 0, 2, true},
      {"middle on the picture", 0, 0, 4, true},
      // clang-format on
  };
  for (const auto& input : inputs) {
    SCOPED_TRACE(input.name);
    SimRun run;
    const host::WindowId tray = run.os.AddTrayWindow();
    run.Start(u"/s");
    ASSERT_EQ(run.module.Form1.FirstMouseMove, host::kTrue);  // before any move
    if (input.key != 0) {
      run.os.KeyDown(run.SaverWindow(), input.key, input.shift);
    } else {
      run.os.MouseDown(input.onPicture ? run.ImageWindow() : run.SaverWindow(), 3, 3, input.button);
    }
    ExpectDesktopRestored(run, tray);
  }
}

TEST_F(Saver, KeyOrButtonDuringADecodeEndsItWithoutWaitingForTheDecode) {
  run.os.files[u"C:\\WINDOWS\\ZARVO002.DAT"] = {sim::SlowPictureFile(400, 300, 5000)};
  run.os.MouseDownAt(20500, form, 1, 1);  // the picture is hidden by then
  run.os.Advance(30000);
  ExpectDesktopRestored();
  EXPECT_EQ(run.os.now, 20500u);
}

TEST_F(Saver, MovesDuringADecodeAreJudgedOnceThePictureIsUp) {
  run.os.files[u"C:\\WINDOWS\\ZARVO002.DAT"] = {sim::SlowPictureFile(400, 300, 3000)};
  run.os.MouseMove(form, 10, 10);
  run.os.MouseMoveAt(20500, form, 700, 500);  // far from the old baseline
  run.os.Advance(30000);
  EXPECT_FALSE(run.os.Exited());
  EXPECT_EQ(run.module.Form1.MouseStartX, 700.0f);  // recorded after the load re-armed it
  EXPECT_TRUE(run.os.Find(run.ImageWindow())->visible);
}

TEST_F(Saver, FaultOnAnotherThreadGivesTheTaskBarBackAndNothingTwice) {
  std::thread([] { host::GiveBackAfterFault(); }).join();
  EXPECT_TRUE(run.os.Find(tray)->visible);
  EXPECT_EQ(run.os.cursorCount, -1);  // not that thread's to show
  run.os.KeyDown(form, 'A');          // an end that follows gives nothing twice
  ExpectDesktopRestored();
}

TEST_F(Saver, UnloadGivesBackInOrderThenEnds) {
  run.os.MouseDown(form, 10, 10);
  const std::string f = Id(form);
  const auto calls =
      run.os.Calls({"ShowCursor", "ImmAssociateContext", "SetWindowPos", "ExitProcess"});
  const std::vector<std::string> tail(calls.end() - 4, calls.end());
  EXPECT_EQ(tail, (std::vector<std::string>{
                      "ShowCursor(-1)",
                      "ImmAssociateContext(" + f + ", " + std::to_string(0x5000 + form) + ")",
                      "SetWindowPos(" + Id(tray) + ", 0, 0, 0, 0, 0, 64)", "ExitProcess()"}));
  ExpectDesktopRestored();
}

TEST_F(Saver, SystemCloseAndSessionEndRestoreExactlyOnce) {
  run.os.Close(form);
  ExpectDesktopRestored();
  run.program.reset();  // one program at a time

  SimRun other;
  const host::WindowId otherTray = other.os.AddTrayWindow();
  other.Start(u"/s");
  other.os.EndSession();
  ::ExpectDesktopRestored(other, otherTray);
}

TEST_F(Saver, MouseRuleNeedsMoreThanFivePixelsOnBothAxes) {
  run.os.MouseMove(form, 100, 100);  // records the baseline, never closes
  EXPECT_EQ(run.module.Form1.FirstMouseMove, host::kFalse);
  run.os.MouseMove(form, 1100, 100);  // far along one axis only
  run.os.MouseMove(form, 100, 100000);
  run.os.MouseMove(form, 106, 105);  // exactly 5 is near
  run.os.MouseMove(form, 95, 94);
  EXPECT_FALSE(run.os.Exited());
  run.os.MouseMove(form, 106, 106);
  ExpectDesktopRestored();
}

TEST_F(Saver, PictureChangeRearmsTheBaseline) {
  run.os.MouseMove(form, 10, 10);
  run.os.Advance(20000);
  EXPECT_EQ(run.module.Form1.FirstMouseMove, host::kTrue);
  run.os.MouseMove(form, 500, 500);  // drifted far: records the new baseline
  EXPECT_FALSE(run.os.Exited());
  run.os.MouseMove(form, 504, 0);
  EXPECT_FALSE(run.os.Exited());
  run.os.MouseMove(form, 490, 490);
  EXPECT_TRUE(run.os.Exited());
}

TEST_F(Saver, ImageCoordinatesAreComparedWithTheFormsWithoutConversion) {
  // The 400 x 300 picture stands at (200, 150): a point over it in its own
  // coordinates is a different number from the same point in the form's.
  run.os.MouseMove(run.ImageWindow(), 0, 0);
  EXPECT_EQ(run.module.Form1.MouseStartX, 0.0f);
  run.os.MouseMove(form, 5, 5);
  EXPECT_FALSE(run.os.Exited());
  run.os.MouseMove(form, 200, 150);
  EXPECT_TRUE(run.os.Exited());
}

TEST_F(Saver, BaselineKeepsFractionalCoordinatesInSinglePrecision) {
  run.os.MouseMove(form, 0.1, 0.1);
  run.os.MouseMove(form, 5.1, 5.1);  // 5.1f is within 0.1f + 5 rounded to single
  EXPECT_FALSE(run.os.Exited());
  run.os.MouseMove(form, 5.2, 5.2);
  EXPECT_TRUE(run.os.Exited());
}

TEST_F(Saver, TimerReassertsTopMostTakesFocusAndShowsTheNextFile) {
  run.os.log.clear();
  run.os.Advance(19999);
  EXPECT_TRUE(run.os.Calls({"BeginLoadPicture"}).empty());
  run.os.Advance(1);
  const std::string f = Id(form);
  EXPECT_EQ(
      run.os.Calls({"SetWindowPos", "SetFocus", "BeginLoadPicture"}),
      (std::vector<std::string>{"SetWindowPos(" + f + ", -1, 0, 0, 0, 0, 3)", "SetFocus(" + f + ")",
                                "BeginLoadPicture(\"C:\\WINDOWS\\ZARVO002.DAT\")"}));
}

TEST(SaverWithoutAWindow, EndsAtOnceHavingTakenNothing) {
  SimRun run;
  run.os.refuseWindows = true;
  run.Start(u"/s");
  EXPECT_TRUE(run.os.Exited());
  EXPECT_TRUE(run.os.messageBoxes.empty());
  EXPECT_EQ(run.os.cursorCount, 0);
}

TEST(SaverWithoutTaskBar, StartsRunsAndEndsNormally) {
  SimRun run;
  run.Start(u"/s");
  EXPECT_EQ(run.module.Form1.TrayWindow, 0u);
  run.os.Advance(40000);
  EXPECT_EQ(run.module.Form1.PictureIndex, 4);
  run.os.KeyDown(run.SaverWindow(), 27);
  EXPECT_TRUE(run.os.Exited());
  EXPECT_EQ(run.os.cursorCount, 0);
}

TEST(SaverOnSeveralMonitors, OtherMonitorsAreCoveredAndShareTheInputRules) {
  SimRun run;
  run.os.monitors = {{0, 0, 800, 600}, {800, 0, 1024, 768}, {-640, 0, 640, 480}};
  run.Start(u"/s");
  const auto covers = run.os.Covers(run.SaverWindow());
  ASSERT_EQ(covers.size(), 2u);
  for (const sim::Window* cover : covers) {
    EXPECT_TRUE(cover->visible);
    EXPECT_TRUE(cover->topmost);
    EXPECT_EQ(cover->backColor, 0u);
  }
  // A move on the right-hand monitor is a move at x = 800 + 10 of the form.
  run.os.MouseMove(covers[0]->id, 10, 10);
  EXPECT_EQ(run.module.Form1.MouseStartX, 810.0f);
  run.os.MouseMove(covers[0]->id, 14, 300);
  EXPECT_FALSE(run.os.Exited());
  run.os.MouseDown(covers[1]->id, 1, 1);
  EXPECT_TRUE(run.os.Exited());
  EXPECT_EQ(run.os.cursorCount, 0);
}

}  // namespace
