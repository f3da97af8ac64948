// ShowNextPicture: the cycle, the placement, and what an unshowable file leaves behind.
#include <gtest/gtest.h>

#include "support/sim_run.h"

namespace {

using namespace testing_support;

TEST(PictureCycle, StepsRunInOrderWhileTheImageIsHidden) {
  SimRun run;
  run.os.files[DatFile(2)] = {sim::PictureFile(1600, 800)};
  run.Start(u"/s");
  run.os.log.clear();
  run.os.Advance(20000);
  const host::WindowId image = run.ImageWindow();
  // 002 was decoded while 001 showed; 003 is decoded while 002 shows.
  EXPECT_EQ(
      run.os.Calls({"SetVisible", "SetImage", "BeginLoadPicture", "BeginPreparePicture"}),
      (Lines{Call("SetVisible", image, "false"),
             Call("SetImage", image, "400, 300, false"),  // Stretch false; the old picture stays
             Call("SetImage", image, "1600, 800, false"),
             Call("SetImage", image, "1600, 800, true"), Call("SetVisible", image, "true"),
             PrepareCall(3)}));
  // Fit to width: the width is set before the height, the top last.
  EXPECT_EQ(Last(run.os.Calls({"SetBounds"}), 4),
            (Lines{Call("SetBounds", image, "200, 150, 800, 800"),
                   Call("SetBounds", image, "200, 150, 800, 400"),
                   Call("SetBounds", image, "0, 150, 800, 400"),
                   Call("SetBounds", image, "0, 100, 800, 400")}));
}

TEST(PictureCycle, PlacementsOfTheWorkedValuesReachTheImageControl) {
  const struct {
    int width, height;
    host::RectPx placed;
  } cases[] = {{400, 300, {200, 150, 400, 300}},
               {300, 1200, {325, 0, 150, 600}},
               {800, 300, {0, 150, 800, 300}},
               {300, 600, {250, 0, 300, 600}},
               {900, 500, {0, 78, 800, 444}}};
  SimRun run;
  for (int i = 0; i < 5; ++i)
    run.os.files[DatFile(i + 1)] = {sim::PictureFile(cases[i].width, cases[i].height)};
  run.Start(u"/s");
  for (const auto& c : cases) {
    const sim::Window& image = *run.os.Find(run.ImageWindow());
    EXPECT_TRUE(image.visible);
    EXPECT_EQ(image.bounds, c.placed) << c.width << " x " << c.height;
    run.os.Advance(20000);
  }
}

TEST(PictureCycle, TheNextFileIsDecodedWhileThePictureShows) {
  const sim::File slow{sim::SlowPictureFile(640, 480, 5000)};
  const struct {
    const char* name;
    sim::File before, atTick;  // file 002 while 001 shows, and when its tick comes
    bool decodedAtTick;
    bool shown;
  } cases[] = {
      {"unchanged", slow, slow, false, true},
      {"rewritten since", slow, {slow.content, false, false, /*writeTime=*/1}, true, true},
      {"replaced by a bad file", slow, {"SIMPIC", false, false, 1}, true, false},
      {"removed", slow, {}, true, false},
      {"bad all along", {"SIMPIC"}, {"SIMPIC"}, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SimRun run;
    run.os.files[DatFile(2)] = c.before;
    run.Start(u"/s");
    run.os.Advance(19000);
    if (c.atTick.content.empty())
      run.os.files.erase(DatFile(2));
    else
      run.os.files[DatFile(2)] = c.atTick;
    run.os.Advance(1000);
    EXPECT_EQ(run.Count(LoadCall(2)), c.decodedAtTick ? 1 : 0);
    // A fresh decode of the slow file takes its time at the tick; a prepared one none.
    EXPECT_EQ(run.os.now, c.decodedAtTick && c.shown ? 25000u : 20000u);
    EXPECT_EQ(run.os.Find(run.ImageWindow())->visible, c.shown);
    EXPECT_EQ(run.Count(PrepareCall(3)), 1);
  }
}

TEST(PictureCycle, KeyWhileTheNextFileIsPreparedEndsTheSaverAtOnce) {
  SimRun run;
  run.os.files[DatFile(2)] = {sim::SlowPictureFile(640, 480, 10000)};
  run.Start(u"/s");
  EXPECT_EQ(run.os.now, 0u);  // 001 is up; 002 decodes behind it
  run.os.KeyDownAt(3000, run.SaverWindow(), 'A');
  run.os.Advance(20000);
  EXPECT_TRUE(run.os.Exited());
  EXPECT_EQ(run.os.now, 3000u);
}

TEST(PictureCycle, ADecodeThatOverrunsIsABadFileUntilTheFileChanges) {
  SimRun run;
  run.os.files[DatFile(2)] = {sim::HangingPictureFile(400, 300)};
  run.Start(u"/s");
  run.os.Advance(20000);
  EXPECT_EQ(run.os.now, 20000u);  // its 10 seconds ran out while it was prepared
  EXPECT_FALSE(run.os.Find(run.ImageWindow())->visible);
  EXPECT_EQ(run.module.Form1.PictureIndex, 3);
  for (int tick = 0; tick < 50; ++tick) run.os.Advance(20000);
  EXPECT_EQ(run.module.Form1.PictureIndex, 3);
  EXPECT_FALSE(run.os.Find(run.ImageWindow())->visible);  // black again, without a decode
  EXPECT_EQ(run.Count(PrepareCall(2)) + run.Count(LoadCall(2)), 1);
  EXPECT_EQ(run.os.RunningDecodes(), 1);

  run.os.files[DatFile(2)] = {sim::PictureFile(400, 300), false, false, /*writeTime=*/1};
  for (int tick = 0; tick < 50; ++tick) run.os.Advance(20000);
  EXPECT_TRUE(run.os.Find(run.ImageWindow())->visible);
  EXPECT_EQ(run.Count(PrepareCall(2)), 2);
}

TEST(PictureCycle, TwoDecodesLeftBehindStopTheDecodingNotTheSaver) {
  SimRun run;
  run.os.files[DatFile(2)] = {sim::HangingPictureFile(400, 300)};
  run.Start(u"/s");
  run.os.Advance(39000);  // 002 is left behind at 20 s, and 003 prepared
  run.os.files[DatFile(3)] = {sim::HangingPictureFile(640, 480)};
  run.os.Advance(11000);
  EXPECT_EQ(run.os.now, 50000u);  // 003 decoded afresh at 40 s, given up 10 s later
  run.os.Advance(10000);
  EXPECT_EQ(run.os.now, 60000u);  // 004 fails at once: no room for a decode
  EXPECT_FALSE(run.os.Find(run.ImageWindow())->visible);
  EXPECT_EQ(run.os.RunningDecodes(), 2);
  EXPECT_EQ(run.os.Calls({"BeginLoadPicture", "BeginPreparePicture"}),
            (Lines{LoadCall(1), PrepareCall(2), PrepareCall(3), LoadCall(3)}));
  run.os.KeyDownAt(70000, run.SaverWindow(), 'A');
  run.os.Advance(20000);
  EXPECT_TRUE(run.os.Exited());
  EXPECT_EQ(run.os.now, 70000u);
}

}  // namespace
