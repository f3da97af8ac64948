// The saver window: what it takes from the desktop, what ends it, and the desktop given back once.
#include <gtest/gtest.h>

#include <functional>
#include <tuple>
#include <utility>

#include "support/sim_run.h"

namespace {

using namespace testing_support;

TEST(Saver, LoadTakesTheDesktopInOrderWithTheExactArguments) {
  SaverRun run;
  // Show makes the form appear maximised (its design-time state) once the
  // first picture is in, and Main maximises it again.
  const host::WindowId image = run.ImageWindow();
  EXPECT_EQ(run.os.Calls({"SystemParametersInfoA", "ShowCursor", "ImmAssociateContext",
                          "FindWindowA", "GuardHiddenWindow", "SetWindowPos", "Refresh",
                          "BeginLoadPicture", "Maximize", "SetVisible"}),
            (Lines{"SystemParametersInfoA(17, -1, \"\", 0)", "ShowCursor(0)",
                   Call("ImmAssociateContext", run.form, "0"),
                   "FindWindowA(\"Shell_traywnd\", \"\")", Call("GuardHiddenWindow", run.tray),
                   Call("SetWindowPos", run.tray, "0, 0, 0, 0, 0, 128"),
                   Call("SetWindowPos", run.form, "-1, 0, 0, 0, 0, 3"), Call("Refresh", run.form),
                   Call("SetVisible", image, "false"), LoadCall(1),
                   Call("SetVisible", image, "true"), Call("Maximize", run.form),
                   Call("SetVisible", run.form, "true"), Call("Maximize", run.form)}));
  // The cover's size, border and place on top are checked under Wine; that
  // it turns the system's screen saver away is not seen there.
  EXPECT_TRUE(run.os.Find(run.form)->form.refusesScreenSaver);
}

// Each on a fresh run: any key (Esc too: the saver has no buttons) or any
// mouse button, on the form or on the picture, or the system closing it or
// ending the session.
TEST(SaverInput, EveryKeyButtonAndCloseEndsItGivingBackOnce) {
  const std::pair<const char*, std::function<void(SaverRun&)>> inputs[] = {
      {"A", [](SaverRun& r) { r.os.KeyDown(r.form, 'A'); }},
      {"Esc", [](SaverRun& r) { r.os.KeyDown(r.form, 27); }},
      {"Shift", [](SaverRun& r) { r.os.KeyDown(r.form, 16, 1); }},
      {"left", [](SaverRun& r) { r.os.MouseDown(r.form, 3, 3, 1); }},
      {"middle on the picture", [](SaverRun& r) { r.os.MouseDown(r.ImageWindow(), 3, 3, 4); }},
      {"system close", [](SaverRun& r) { r.os.Close(r.form); }},
      {"session end", [](SaverRun& r) { r.os.EndSession(); }}};
  for (const auto& [name, input] : inputs) {
    SCOPED_TRACE(name);
    SaverRun run;
    input(run);
    ExpectDesktopRestored(run);
  }
}

// The press is answered at once, whatever file 002 makes the saver wait
// for: put in before the start it is prepared behind 001, after the start it
// is decoded afresh at its tick. Nothing starts once the saver ends.
TEST(SaverInput, APressEndsItWhileTheNextFileIsPreparedOrDecoded) {
  const struct {
    const char* name;
    sim::File file002;
    bool beforeStart;
    std::uint64_t pressAt;
    bool key;
  } cases[] = {
      {"button during the decode", {sim::SlowPictureFile(400, 300, 5000)}, false, 20500, false},
      {"key while a share hangs for 30 s",
       {sim::PictureFile(640, 480), false, false, 0, 0, 0, 30000},
       true,
       20050,
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SaverRun run([&](SimRun& r) {
      if (c.beforeStart) r.Put(2, c.file002);
    });
    if (!c.beforeStart) run.Put(2, c.file002);
    if (c.key) run.os.KeyDownAt(c.pressAt, run.form, 'A');
    if (!c.key) run.os.MouseDownAt(c.pressAt, run.form, 1, 1);
    run.os.Advance(40000);
    ExpectDesktopRestored(run);
    EXPECT_EQ(run.os.now, c.pressAt);
    EXPECT_EQ(run.Count(PrepareCall(3)), 0);
  }
}

// Each on a fresh run, where 003 cannot be shown; only the last move ends the saver.
TEST(SaverMouse, MoreThanFivePixelsOnBothAxesFromTheBaselineEndsIt) {
  enum Where { OnForm, OnPicture, OnFormAfterATick };
  struct Move {
    double x, y;
    Where where = OnForm;
  };
  const struct {
    const char* name;
    std::vector<Move> moves;
  } cases[] = {
      {"far on one axis only, or exactly 5",
       {{100, 100}, {1100, 100}, {100, 100000}, {106, 105}, {95, 94}, {106, 106}}},
      {"a picture change re-arms the baseline",
       {{10, 10}, {500, 500, OnFormAfterATick}, {504, 0}, {490, 490}}},
      {"a failed load does not",
       {{10, 10}, {12, 12, OnFormAfterATick}, {500, 500, OnFormAfterATick}}},
      // The 400 x 300 picture stands at (200, 150); its coordinates are taken as they come.
      {"picture coordinates are not converted", {{0, 0, OnPicture}, {5, 5}, {200, 150}}},
      // 5.3f lies above 0.3f + 5, but not above that sum rounded to single precision.
      {"single precision", {{0.3, 0.3}, {5.3, 100}, {100, 5.3}, {5.4, 100}}},
  };
  for (const auto& c : cases) {
    SaverRun run([](SimRun& r) { r.Put(3, {"SIMPIC"}); });
    for (const Move& move : c.moves) {
      EXPECT_FALSE(run.os.Exited()) << c.name << " before " << move.x << "," << move.y;
      if (move.where == OnFormAfterATick) run.os.Advance(20000);
      run.os.MouseMove(move.where == OnPicture ? run.ImageWindow() : run.form, move.x, move.y);
    }
    EXPECT_TRUE(run.os.Exited()) << c.name;
  }
}

TEST(Saver, FaultOnAnotherThreadGivesTheTaskBarBackAndNothingTwice) {
  SaverRun run;
  std::thread([] { host::GiveBackAfterFault(); }).join();
  EXPECT_TRUE(run.os.Find(run.tray)->visible);
  EXPECT_EQ(run.os.cursorCount, -1);  // not that thread's to show
  run.os.KeyDown(run.form, 'A');
  ExpectDesktopRestored(run);
}

TEST(Saver, WithoutAWindowEndsAtOnceHavingTakenNothing) {
  SimRun run;
  run.os.refuseWindows = true;
  run.Start(u"/s");
  EXPECT_TRUE(run.os.Exited());
  EXPECT_TRUE(run.os.messageBoxes.empty());
  EXPECT_EQ(run.os.cursorCount, 0);
}

TEST(Saver, OtherMonitorsAreCoveredAndShareTheInputRules) {
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
