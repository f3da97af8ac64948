// ShowNextPicture on the simulated desktop: the cycle, the placement on the
// image control, and what a file that cannot be shown leaves behind.
#include <gtest/gtest.h>

#include "support/sim_run.h"

namespace {

using testing_support::Id;
using testing_support::SimRun;

host::Text FileName(int index) { return u"C:\\WINDOWS\\ZARVO" + host::ZeroPad(index, 3) + u".DAT"; }

TEST(PictureCycle, ShowsTheFiftyFilesInTurnThenStartsAgain) {
  SimRun run;
  run.Start(u"/s");
  for (int tick = 1; tick <= 50; ++tick) run.os.Advance(20000);
  const auto loads = run.os.Calls({"BeginLoadPicture"});
  ASSERT_EQ(loads.size(), 51u);
  for (int i = 0; i < 50; ++i) {
    EXPECT_EQ(loads[i], "BeginLoadPicture(\"" + host::ToUtf8(FileName(i + 1)) + "\", 800, 600)");
  }
  EXPECT_EQ(loads[50], loads[0]);
  EXPECT_EQ(run.module.Form1.PictureIndex, 2);
}

TEST(PictureCycle, StepsRunInOrderWhileTheImageIsHidden) {
  SimRun run;
  run.os.files[FileName(2)] = {sim::PictureFile(1600, 800)};
  run.Start(u"/s");
  run.os.log.clear();
  run.os.Advance(20000);
  const std::string image = Id(run.ImageWindow());
  const std::vector<std::string> expected = {
      "SetVisible(" + image + ", false)",
      "SetImage(" + image + ", 400, 300, false)",  // Stretch false; the old picture stays
      "BeginLoadPicture(\"C:\\WINDOWS\\ZARVO002.DAT\", 800, 600)",
      "SetImage(" + image + ", 1600, 800, false)",
      "SetImage(" + image + ", 1600, 800, true)",
      "SetVisible(" + image + ", true)",
  };
  EXPECT_EQ(run.os.Calls({"SetVisible", "SetImage", "BeginLoadPicture"}), expected);
  // Fit to width: the width is set before the height, the top last.
  const auto bounds = run.os.Calls({"SetBounds"});
  const std::vector<std::string> placement(bounds.end() - 4, bounds.end());
  EXPECT_EQ(placement, (std::vector<std::string>{"SetBounds(" + image + ", 200, 150, 800, 800)",
                                                 "SetBounds(" + image + ", 200, 150, 800, 400)",
                                                 "SetBounds(" + image + ", 0, 150, 800, 400)",
                                                 "SetBounds(" + image + ", 0, 100, 800, 400)"}));
}

TEST(PictureCycle, PlacementsOfTheWorkedValuesReachTheImageControl) {
  struct Case {
    int width, height;
    host::RectPx placed;
  } cases[] = {{400, 300, {200, 150, 400, 300}},
               {300, 1200, {325, 0, 150, 600}},
               {800, 300, {0, 150, 800, 300}},
               {300, 600, {250, 0, 300, 600}},
               {900, 500, {0, 78, 800, 444}}};
  SimRun run;
  for (int i = 0; i < 5; ++i)
    run.os.files[FileName(i + 1)] = {sim::PictureFile(cases[i].width, cases[i].height)};
  run.Start(u"/s");
  for (const Case& c : cases) {
    const sim::Window& image = *run.os.Find(run.ImageWindow());
    EXPECT_TRUE(image.visible);
    EXPECT_EQ(image.bounds, c.placed) << c.width << " x " << c.height;
    run.os.Advance(20000);
  }
}

TEST(PictureCycle, EveryFileMissingLeavesABlackScreenThatStillEndsOnInput) {
  SimRun run;
  run.os.files.clear();
  run.Start(u"/s");
  run.os.Advance(200000);
  EXPECT_FALSE(run.os.Find(run.ImageWindow())->visible);
  EXPECT_EQ(run.module.Form1.PictureIndex, 12);
  // The load armed the baseline even though its picture failed.
  run.os.MouseMove(run.SaverWindow(), 3, 300);
  run.os.MouseMove(run.SaverWindow(), 300, 300);
  EXPECT_FALSE(run.os.Exited());
  run.os.MouseMove(run.SaverWindow(), 300, 0);
  EXPECT_TRUE(run.os.Exited());
}

TEST(PictureCycle, FolderAtADriveRootGetsNoDoubledSeparator) {
  SimRun run;
  run.os.exePath = u"Y:\\zarvo.scr";
  run.Start(u"/s");
  EXPECT_EQ(run.os.Calls({"BeginLoadPicture"}).front(),
            "BeginLoadPicture(\"Y:\\ZARVO001.DAT\", 800, 600)");
}

TEST(PictureCycle, ADecodeThatOverrunsIsABadFileUntilTheFileChanges) {
  SimRun run;
  run.os.files[FileName(2)] = {sim::HangingPictureFile(400, 300)};
  run.Start(u"/s");
  run.os.Advance(20000);
  EXPECT_EQ(run.os.now, 30000u);  // given up after its 10 seconds
  EXPECT_FALSE(run.os.Find(run.ImageWindow())->visible);
  EXPECT_EQ(run.module.Form1.PictureIndex, 3);
  for (int tick = 0; tick < 50; ++tick) run.os.Advance(20000);
  EXPECT_EQ(run.module.Form1.PictureIndex, 3);
  EXPECT_FALSE(run.os.Find(run.ImageWindow())->visible);  // black again, without a decode
  EXPECT_EQ(run.Count("BeginLoadPicture(\"C:\\WINDOWS\\ZARVO002.DAT\", 800, 600)"), 1);
  EXPECT_EQ(run.os.RunningDecodes(), 1);

  run.os.files[FileName(2)] = {sim::PictureFile(400, 300), false, false, /*writeTime=*/1};
  for (int tick = 0; tick < 50; ++tick) run.os.Advance(20000);
  EXPECT_TRUE(run.os.Find(run.ImageWindow())->visible);
  EXPECT_EQ(run.Count("BeginLoadPicture(\"C:\\WINDOWS\\ZARVO002.DAT\", 800, 600)"), 2);
}

TEST(PictureCycle, WhileOneDecodeIsLeftBehindASecondIsWaitedForNotLeft) {
  SimRun run;
  run.os.files[FileName(2)] = {sim::HangingPictureFile(400, 300)};
  run.os.files[FileName(3)] = {sim::SlowPictureFile(640, 480, 25000)};
  run.os.files[FileName(4)] = {sim::HangingPictureFile(400, 300)};
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
