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
  EXPECT_EQ(
      run.os.Calls({"SetVisible", "SetImage", "BeginLoadPicture"}),
      (Lines{Call("SetVisible", image, "false"),
             Call("SetImage", image, "400, 300, false"),  // Stretch false; the old picture stays
             LoadCall(2), Call("SetImage", image, "1600, 800, false"),
             Call("SetImage", image, "1600, 800, true"), Call("SetVisible", image, "true")}));
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

TEST(PictureCycle, ADecodeThatOverrunsIsABadFileUntilTheFileChanges) {
  SimRun run;
  run.os.files[DatFile(2)] = {sim::HangingPictureFile(400, 300)};
  run.Start(u"/s");
  run.os.Advance(20000);
  EXPECT_EQ(run.os.now, 30000u);  // given up after its 10 seconds
  EXPECT_FALSE(run.os.Find(run.ImageWindow())->visible);
  EXPECT_EQ(run.module.Form1.PictureIndex, 3);
  for (int tick = 0; tick < 50; ++tick) run.os.Advance(20000);
  EXPECT_EQ(run.module.Form1.PictureIndex, 3);
  EXPECT_FALSE(run.os.Find(run.ImageWindow())->visible);  // black again, without a decode
  EXPECT_EQ(run.Count(LoadCall(2)), 1);
  EXPECT_EQ(run.os.RunningDecodes(), 1);

  run.os.files[DatFile(2)] = {sim::PictureFile(400, 300), false, false, /*writeTime=*/1};
  for (int tick = 0; tick < 50; ++tick) run.os.Advance(20000);
  EXPECT_TRUE(run.os.Find(run.ImageWindow())->visible);
  EXPECT_EQ(run.Count(LoadCall(2)), 2);
}

TEST(PictureCycle, WhileOneDecodeIsLeftBehindASecondIsWaitedForNotLeft) {
  SimRun run;
  run.os.files[DatFile(2)] = {sim::HangingPictureFile(400, 300)};
  run.os.files[DatFile(3)] = {sim::SlowPictureFile(640, 480, 25000)};
  run.os.files[DatFile(4)] = {sim::HangingPictureFile(400, 300)};
  run.Start(u"/s");
  run.os.Advance(40000);  // 002 is left behind at 30 s; 003 starts at 40 s
  EXPECT_EQ(run.os.now, 65000u);
  EXPECT_EQ(run.module.Form1.Image1.Width(), 640);  // 003 shown after all
  EXPECT_EQ(run.os.RunningDecodes(), 1);

  run.os.KeyDownAt(200000, run.SaverWindow(), 'A');
  run.os.Advance(200000);  // 004 waits: no tick runs until the key
  EXPECT_TRUE(run.os.Exited());
  EXPECT_EQ(run.os.now, 200000u);
  EXPECT_EQ(run.os.Calls({"BeginLoadPicture"}).size(), 4u);
}

}  // namespace
