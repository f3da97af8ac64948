// The saver window: what it takes from the desktop, what ends it, and the desktop given back once.
#include <gtest/gtest.h>

#include <tuple>

#include "support/sim_run.h"

namespace {

using namespace testing_support;

void ExpectDesktopRestored(SaverRun& run) {
  EXPECT_TRUE(run.os.Exited());
  EXPECT_EQ(run.os.cursorCount, 0);
  EXPECT_TRUE(run.os.Find(run.tray)->visible);
  EXPECT_EQ(run.Count("ShowCursor(-1)"), 1);
  EXPECT_EQ(run.Count(Call("SetWindowPos", run.tray, "0, 0, 0, 0, 0, 64")), 1);
  EXPECT_EQ(run.os.Calls({"ImmAssociateContext"}).size(), 2u);
  EXPECT_TRUE(run.os.screenSaveActive);  // screen saving stays switched on
}

class Saver : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(run.form, 0u); }
  SaverRun run;
};

TEST_F(Saver, LoadTakesTheDesktopInOrderWithTheExactArguments) {
  EXPECT_EQ(
      run.os.Calls({"SystemParametersInfoA", "ShowCursor", "ImmAssociateContext", "FindWindowA",
                    "SetWindowPos", "Refresh", "BeginLoadPicture"}),
      (Lines{"SystemParametersInfoA(17, -1, \"\", 0)", "ShowCursor(0)",
             Call("ImmAssociateContext", run.form, "0"), "FindWindowA(\"Shell_traywnd\", \"\")",
             Call("SetWindowPos", run.tray, "0, 0, 0, 0, 0, 128"),
             Call("SetWindowPos", run.form, "-1, 0, 0, 0, 0, 3"), Call("Refresh", run.form),
             LoadCall(1)}));
  const saver::Form1& saver = run.module.Form1;
  EXPECT_EQ(std::tuple(saver.PictureIndex, saver.PictureCount, saver.FirstMouseMove),
            std::tuple(2, 50, host::kTrue));
  // A black, borderless, top-most cover of the screen.
  const sim::Window& w = *run.os.Find(run.form);
  EXPECT_EQ(w.form.border, host::BorderStyle::None);
  EXPECT_TRUE(!w.form.showInTaskbar && w.form.refusesScreenSaver);
  EXPECT_TRUE(w.topmost && w.visible && w.maximized && w.backColor == 0u && w.imeContext == 0u);
  EXPECT_EQ(w.bounds, (host::RectPx{0, 0, 800, 600}));
  EXPECT_EQ(run.os.cursorCount, -1);
  EXPECT_FALSE(run.os.Find(run.tray)->visible);
}

// Each on a fresh run: any key (Enter and Esc too: the saver has no
// buttons) or any mouse button, on the form or on the picture, or the
// system closing it or ending the session.
TEST(SaverInput, EveryKeyButtonAndCloseEndsItGivingBackOnce) {
  const struct {
    const char* name;
    char how;  // k: a key, b: a button on the form, p: on the picture, c: close, e: session end
    int code, shift;
  } inputs[] = {// clang-format off
      {"A", 'k', 'A', 0}, {"Enter", 'k', 13, 0}, {"Esc", 'k', 27, 0}, {"Shift", 'k', 16, 1},
      {"left", 'b', 1, 0}, {"right", 'b', 2, 0}, {"middle", 'b', 4, 0},
      {"left on the picture", 'p', 1, 0}, {"middle on the picture", 'p', 4, 0},
      {"system close", 'c', 0, 0}, {"session end", 'e', 0, 0}};
  // clang-format on
  for (const auto& input : inputs) {
    SCOPED_TRACE(input.name);
    SaverRun run;
    if (input.how == 'k') run.os.KeyDown(run.form, input.code, input.shift);
    if (input.how == 'b') run.os.MouseDown(run.form, 3, 3, input.code);
    if (input.how == 'p') run.os.MouseDown(run.ImageWindow(), 3, 3, input.code);
    if (input.how == 'c') run.os.Close(run.form);
    if (input.how == 'e') run.os.EndSession();
    ExpectDesktopRestored(run);
  }
}

TEST_F(Saver, KeyOrButtonDuringADecodeEndsItWithoutWaitingForTheDecode) {
  run.os.files[DatFile(2)] = {sim::SlowPictureFile(400, 300, 5000)};
  run.os.MouseDownAt(20500, run.form, 1, 1);  // the picture is hidden by then
  run.os.Advance(30000);
  ExpectDesktopRestored(run);
  EXPECT_EQ(run.os.now, 20500u);
}

TEST_F(Saver, MovesDuringADecodeAreJudgedOnceThePictureIsUp) {
  run.os.files[DatFile(2)] = {sim::SlowPictureFile(400, 300, 3000)};
  run.os.MouseMove(run.form, 10, 10);
  run.os.MouseMoveAt(20500, run.form, 700, 500);  // far from the old baseline
  run.os.Advance(30000);
  EXPECT_FALSE(run.os.Exited());
  EXPECT_EQ(run.module.Form1.MouseStartX, 700.0f);  // recorded after the load re-armed it
  EXPECT_TRUE(run.os.Find(run.ImageWindow())->visible);
}

TEST_F(Saver, FaultOnAnotherThreadGivesTheTaskBarBackAndNothingTwice) {
  std::thread([] { host::GiveBackAfterFault(); }).join();
  EXPECT_TRUE(run.os.Find(run.tray)->visible);
  EXPECT_EQ(run.os.cursorCount, -1);  // not that thread's to show
  run.os.KeyDown(run.form, 'A');
  ExpectDesktopRestored(run);
}

TEST_F(Saver, UnloadGivesBackInOrderThenEnds) {
  run.os.MouseDown(run.form, 10, 10);
  EXPECT_EQ(
      Last(run.os.Calls({"ShowCursor", "ImmAssociateContext", "SetWindowPos", "ExitProcess"}), 4),
      (Lines{"ShowCursor(-1)",
             Call("ImmAssociateContext", run.form, std::to_string(0x5000 + run.form)),
             Call("SetWindowPos", run.tray, "0, 0, 0, 0, 0, 64"), "ExitProcess()"}));
  ExpectDesktopRestored(run);
}

// Each on a fresh run: moves on the form or (i) on the picture, "+20 s" a
// picture change; only the last move ends the saver.
TEST(SaverMouse, MoreThanFivePixelsOnBothAxesFromTheBaselineEndsIt) {
  const struct {
    const char* name;
    std::vector<std::tuple<char, double, double>> moves;
  } cases[] = {
      {"far on one axis only, or exactly 5",
       {{'f', 100, 100},
        {'f', 1100, 100},
        {'f', 100, 100000},
        {'f', 106, 105},
        {'f', 95, 94},
        {'f', 106, 106}}},
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
  EXPECT_EQ(run.os.Calls({"SetWindowPos", "SetFocus", "BeginLoadPicture"}),
            (Lines{Call("SetWindowPos", run.form, "-1, 0, 0, 0, 0, 3"), Call("SetFocus", run.form),
                   LoadCall(2)}));
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
  EXPECT_EQ(run.os.Calls({"BeginLoadPicture"}).front(), LoadCall(1, "1024, 768"));
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
