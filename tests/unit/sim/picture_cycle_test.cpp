// ShowNextPicture: the cycle, the placement, and what an unshowable file leaves behind.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

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
             CheckCall(2), Call("SetImage", image, "1600, 800, false"),
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

// File 002 as it is prepared while 001 shows, and as it is at its tick.
struct PreparedCase {
  const char* name;
  sim::File before, atTick;
  std::uint64_t changedAt;        // when the change to 002 is complete
  std::optional<int> shownWidth;  // none: black
};

void ExpectChangeTo002(const PreparedCase& c,
                       const std::function<void(sim::SimOs&)>& machine = {}) {
  SCOPED_TRACE(c.name);
  SimRun run;
  if (machine) machine(run.os);
  run.os.files[DatFile(2)] = c.before;
  run.Start(u"/s");
  run.os.Advance(19000);
  if (c.atTick.content.empty())
    run.os.files.erase(DatFile(2));
  else
    run.os.files[DatFile(2)] = c.atTick;
  run.os.Advance(1000);
  while (run.module.Form1.PictureIndex == 2) run.os.Advance(1000);  // a late tick
  EXPECT_EQ(run.os.now, c.changedAt);
  const sim::Window& image = *run.os.Find(run.ImageWindow());
  EXPECT_EQ(image.visible, c.shownWidth.has_value());
  if (c.shownWidth) {
    EXPECT_EQ(image.picture->WidthPx(), *c.shownWidth);
  }
  EXPECT_EQ(run.Count(PrepareCall(3)), 1);
}

TEST(PictureCycle, ThePreparedFileIsTakenOnlyWhileItIsTheSameFile) {
  // A fresh decode of the slow files takes 5 s at the tick; a prepared one none.
  const std::string landscape = sim::SlowPictureFile(640, 480, 5000);
  const std::string portrait = sim::SlowPictureFile(480, 640, 5000);  // as many bytes
  const sim::File slow{landscape};
  sim::File inPlace{portrait};  // same size and write time
  inPlace.changeTime = 1;
  sim::File renamedOver{portrait};
  renamedOver.fileIndex = 1;
  sim::File sharedAway{landscape};
  sharedAway.sharedAway = true;
  const PreparedCase cases[] = {
      {"unchanged", slow, slow, 20000, 640},
      {"rewritten in place", slow, inPlace, 25000, 480},
      {"renamed over", slow, renamedOver, 25000, 480},
      {"replaced by a bad file", slow, {"SIMPIC", false, false, 1}, 20000, std::nullopt},
      {"removed", slow, {}, 20000, std::nullopt},
      {"bad all along", {"SIMPIC"}, {"SIMPIC"}, 20000, std::nullopt},
      {"shared away while prepared", sharedAway, slow, 25000, 640},
  };
  for (const PreparedCase& c : cases) ExpectChangeTo002(c);
}

// The 10 s a picture may hold the interface thread count from its tick,
// and only while the process runs.
TEST(PictureCycle, NoTimeIsChargedThatTheSaverDidNotWaitAndRun) {
  const sim::File slow{sim::SlowPictureFile(640, 480, 8000)};
  const struct {
    PreparedCase change;
    std::function<void(sim::SimOs&)> machine;
  } cases[] = {
      {{"busy machine starves the preparation", slow, slow, 28000, 640},
       [](sim::SimOs& os) { os.BusyBetween(0, 100000); }},
      {{"stopped for 25 s while it is prepared", slow, slow, 33000, 640},
       [](sim::SimOs& os) { os.SuspendAt(5000, 25000); }},
      {{"stopped for 25 s while it is waited for", slow, slow, 53000, 640},
       [](sim::SimOs& os) {
         os.BusyBetween(0, 100000);
         os.SuspendAt(22000, 25000);
       }},
  };
  for (const auto& c : cases) ExpectChangeTo002(c.change, c.machine);
}

TEST(PictureCycle, APressIsAnsweredWhileTheNextFileIsPreparedOrChecked) {
  const struct {
    const char* name;
    sim::File file002;
    std::uint64_t pressAt;
  } cases[] = {
      {"decode under way", {sim::SlowPictureFile(640, 480, 10000)}, 3000},
      {"share that hangs for 30 s",
       {sim::PictureFile(640, 480), false, false, 0, 0, 0, 30000},
       20050},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SimRun run;
    run.os.files[DatFile(2)] = c.file002;
    run.Start(u"/s");
    EXPECT_EQ(run.os.now, 0u);  // 001 is up; 002 is prepared behind it
    run.os.KeyDownAt(c.pressAt, run.SaverWindow(), 'A');
    run.os.Advance(40000);
    EXPECT_TRUE(run.os.Exited());
    EXPECT_EQ(run.os.now, c.pressAt);
    EXPECT_EQ(run.Count(PrepareCall(3)), 0);  // nothing starts once the saver ends
  }
}

TEST(PictureCycle, ADecodeThatOverrunsIsABadFileUntilTheFileChanges) {
  SimRun run;
  run.os.files[DatFile(2)] = {sim::HangingPictureFile(400, 300)};
  run.Start(u"/s");
  run.os.Advance(20000);
  EXPECT_EQ(run.os.now, 30000u);  // waited for 10 s from its tick
  EXPECT_FALSE(run.os.Find(run.ImageWindow())->visible);
  EXPECT_EQ(run.module.Form1.PictureIndex, 3);
  while (run.module.Form1.PictureIndex != 2) run.os.Advance(20000);
  const std::uint64_t tick = run.os.now + 10000;  // the ticks fall at whole 20 s
  run.os.Advance(10000);
  EXPECT_EQ(run.os.now, tick);  // black again, at once
  EXPECT_FALSE(run.os.Find(run.ImageWindow())->visible);
  EXPECT_EQ(run.os.RunningDecodes(), 1);

  run.os.files[DatFile(2)] = {sim::PictureFile(400, 300), false, false, /*writeTime=*/1};
  for (int tick = 0; tick < 50; ++tick) run.os.Advance(20000);
  EXPECT_TRUE(run.os.Find(run.ImageWindow())->visible);
}

TEST(PictureCycle, AChangeThatFailsLeavesBlackForOneIntervalAndTheCycleGoesOn) {
  const struct {
    const char* name;
    std::optional<std::string> file002;
  } cases[] = {{"missing", std::nullopt},
               {"not a picture", "SIMPIC"},
               {"no memory for it", sim::PictureFile(640, 480) + " nomem"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SimRun run;
    if (c.file002)
      run.os.files[DatFile(2)] = {*c.file002};
    else
      run.os.files.erase(DatFile(2));
    run.Start(u"/s");
    run.os.Advance(20000);
    EXPECT_FALSE(run.os.Find(run.ImageWindow())->visible);
    run.os.Advance(20000);
    EXPECT_TRUE(run.os.Find(run.ImageWindow())->visible);
    EXPECT_EQ(run.module.Form1.PictureIndex, 4);
    EXPECT_FALSE(run.os.Exited());
    EXPECT_TRUE(run.os.messageBoxes.empty());
  }
}

// Over camera, phone and odd sizes on common screens and monitor layouts,
// the bitmap made ahead is the size the image control comes to have.
TEST(PictureCycle, ThePreparedBitmapIsTheSizeThePictureIsPaintedAt) {
  const host::SizePx pictures[] = {
      {640, 480},   {1024, 768},  {1280, 720},  {1600, 1200}, {1920, 1080}, {2048, 1536},
      {2560, 1440}, {2592, 1944}, {3000, 2000}, {3264, 2448}, {3840, 2160}, {4000, 3000},
      {4001, 2999}, {4032, 3024}, {4608, 3456}, {5184, 3456}, {6000, 4000}, {6016, 4016},
      {7360, 4912}, {8192, 5464}, {1080, 1920}, {1440, 3200}, {2160, 3840}, {3024, 4032},
      {3000, 4000}, {1000, 1000}, {4096, 4096}, {333, 777},   {12345, 77},  {1366, 769},
      {1921, 1080}};
  const std::vector<host::RectPx> layouts[] = {
      {{0, 0, 800, 600}},
      {{0, 0, 1024, 768}},
      {{0, 0, 1280, 1024}},
      {{0, 0, 1366, 768}},
      {{0, 0, 1440, 900}},
      {{0, 0, 1536, 864}},
      {{0, 0, 1600, 900}},
      {{0, 0, 1920, 1080}},
      {{0, 0, 1920, 1200}},
      {{0, 0, 2560, 1440}},
      {{0, 0, 3840, 2160}},
      {{0, 0, 1366, 768}, {1366, 0, 1920, 1080}},  // the larger monitor not the primary
      {{0, 0, 1920, 1080}, {-2560, 0, 2560, 1440}},
  };
  for (const auto& monitors : layouts) {
    SCOPED_TRACE(::testing::Message() << monitors[0].width << " x " << monitors[0].height);
    SimRun run;
    run.os.monitors = monitors;
    for (int i = 1; i <= 50; ++i) {
      const host::SizePx size = pictures[(i - 1) % std::size(pictures)];
      run.os.files[DatFile(i)] = {sim::PictureFile(size.width, size.height)};
    }
    run.Start(u"/s");
    for (int tick = 1; tick <= 50; ++tick) {
      run.os.Advance(20000);
      const sim::Window& image = *run.os.Find(run.ImageWindow());
      const auto& picture = dynamic_cast<const sim::SimPicture&>(*image.picture);
      ASSERT_TRUE(picture.PaintedSize()) << tick;
      EXPECT_EQ(*picture.PaintedSize(), (host::SizePx{image.bounds.width, image.bounds.height}))
          << picture.WidthPx() << " x " << picture.HeightPx();
    }
  }
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
            (Lines{LoadCall(1), PrepareCall(2), PrepareCall(3), CheckCall(3)}));
  run.os.KeyDownAt(70000, run.SaverWindow(), 'A');
  run.os.Advance(20000);
  EXPECT_TRUE(run.os.Exited());
  EXPECT_EQ(run.os.now, 70000u);
}

}  // namespace
