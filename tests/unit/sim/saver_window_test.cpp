// The saver window on the simulated desktop: what it takes from the desktop
// and in which order, the input rules that end it, and that every way of
// ending gives the desktop back exactly once.
#include <gtest/gtest.h>

#include <thread>
#include <tuple>
#include <vector>

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
      "BeginLoadPicture(\"C:\\WINDOWS\\ZARVO001.DAT\", 800, 600)",
  };
  EXPECT_EQ(run.os.Calls({"SystemParametersInfoA", "ShowCursor", "ImmAssociateContext",
                          "FindWindowA", "SetWindowPos", "Refresh", "BeginLoadPicture"}),
            expected);
  EXPECT_EQ(run.module.Form1.PictureIndex, 2);
  EXPECT_EQ(run.module.Form1.PictureCount, 50);
  EXPECT_EQ(run.module.Form1.FirstMouseMove, host::kTrue);
  // A black, borderless, top-most cover of the screen.
  const sim::Window& w = *run.os.Find(form);
  EXPECT_EQ(w.form.border, host::BorderStyle::None);
  EXPECT_FALSE(w.form.showInTaskbar);
  EXPECT_TRUE(w.form.refusesScreenSaver);
  EXPECT_EQ(w.backColor, 0u);
  EXPECT_TRUE(w.topmost && w.visible && w.maximized);
  EXPECT_EQ(w.bounds, (host::RectPx{0, 0, 800, 600}));
  EXPECT_EQ(run.os.cursorCount, -1);
  EXPECT_FALSE(run.os.Find(tray)->visible);
  EXPECT_EQ(w.imeContext, 0u);
}

// Each on a fresh run: any key (Enter and Esc too: the saver has no
// buttons) or any mouse button, on the form or on the picture, or the
// system closing it or ending the session.
TEST(SaverInput, EveryKeyButtonAndCloseEndsItGivingBackOnce) {
  const struct {
    const char* name;
    char how;  // k: a key, b: a button on the form, p: on the picture, c: close, e: session end
    int code, shift;
  } inputs[] = {
      // clang-format off
      {"A", 'k', 'A', 0}, {"Enter", 'k', 13, 0}, {"Esc", 'k', 27, 0}, {"Shift", 'k', 16, 1},
      {"left", 'b', 1, 0}, {"right", 'b', 2, 0}, {"middle", 'b', 4, 0},
      {"left on the picture", 'p', 1, 0}, {"middle on the picture", 'p', 4, 0},
      {"system close", 'c', 0, 0}, {"session end", 'e', 0, 0},
      // clang-format on
  };
  for (const auto& input : inputs) {
    SCOPED_TRACE(input.name);
    SimRun run;
    const host::WindowId tray = run.os.AddTrayWindow();
    run.Start(u"/s");
    const host::WindowId form = run.SaverWindow();
    if (input.how == 'k') run.os.KeyDown(form, input.code, input.shift);
    if (input.how == 'b' || input.how == 'p') {
      run.os.MouseDown(input.how == 'p' ? run.ImageWindow() : form, 3, 3, input.code);
    }
    if (input.how == 'c') run.os.Close(form);
    if (input.how == 'e') run.os.EndSession();
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

// Each on a fresh run: moves on the form or (i) on the picture, "+20 s" a
// picture change; only the last move ends the saver.
TEST(SaverMouse, MoreThanFivePixelsOnBothAxesFromTheBaselineEndsIt) {
  const struct {
    const char* name;
    std::vector<std::tuple<char, double, double>> moves;
  } cases[] = {
      // clang-format off
      {"far on one axis only, or exactly 5",
       {{'f', 100, 100}, {'f', 1100, 100}, {'f', 100, 100000}, {'f', 106, 105}, {'f', 95, 94},
        {'f', 106, 106}}},
      // clang-format on
      {"a picture change re-arms the baseline",
       {{'f', 10, 10}, {'+', 0, 0}, {'f', 500, 500}, {'f', 504, 0}, {'f', 490, 490}}},
      // The 400 x 300 picture stands at (200, 150); its coordinates are taken as they come.
      {"picture coordinates are not converted", {{'i', 0, 0}, {'f', 5, 5}, {'f', 200, 150}}},
      // 5.1f is within 0.1f + 5 rounded to single precision.
      {"single precision", {{'f', 0.1, 0.1}, {'f', 5.1, 5.1}, {'f', 5.2, 5.2}}},
  };
  for (const auto& c : cases) {
    SimRun run;
    run.Start(u"/s");
    for (const auto& [where, x, y] : c.moves) {
      EXPECT_FALSE(run.os.Exited()) << c.name << " before " << x << "," << y;
      const host::WindowId on = where == 'i' ? run.ImageWindow() : run.SaverWindow();
      where == '+' ? run.os.Advance(20000) : run.os.MouseMove(on, x, y);
    }
    EXPECT_TRUE(run.os.Exited()) << c.name;
  }
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
                                "BeginLoadPicture(\"C:\\WINDOWS\\ZARVO002.DAT\", 800, 600)"}));
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
  // The picture may be kept no smaller than the largest monitor needs.
  EXPECT_EQ(run.os.Calls({"BeginLoadPicture"}).front(),
            "BeginLoadPicture(\"C:\\WINDOWS\\ZARVO001.DAT\", 1024, 768)");
  for (const sim::Window* cover : covers) {
    EXPECT_TRUE(cover->visible && cover->topmost && cover->backColor == 0u);
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
