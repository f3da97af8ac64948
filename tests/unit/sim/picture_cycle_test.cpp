// ShowNextPicture: the cycle, the placement, and what an unshowable file leaves
// behind.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/sim_run.h"

namespace {

using namespace testing_support;

// 002 was prepared while 001 showed and is only checked at its tick; it is
// placed while the image is hidden, and 003 is prepared once it is up.
TEST(PictureCycle, EachTickTakesTheTopAndTheFocusThenShowsTheNextFileWhileHidden) {
  SimRun run;
  run.Put(2, {sim::PictureFile(1600, 800)});
  run.Start(u"/s");
  run.os.log.clear();
  run.os.Advance(20000);
  const host::WindowId form = run.SaverWindow(), image = run.ImageWindow();
  EXPECT_EQ(run.os.Calls({"SetWindowPos", "SetFocus", "SetVisible", "SetImage", "BeginLoadPicture",
                          "BeginPreparePicture"}),
            (Lines{Call("SetWindowPos", form, "-1, 0, 0, 0, 0, 3"), Call("SetFocus", form),
                   Call("SetVisible", image, "false"),
                   Call("SetImage", image,
                        "400, 300, false"),  // Stretch off; the old picture
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

// File 002 as it is prepared while 001 shows, and as it is at its tick. The prepared picture is
// taken only while it is the same file; the 10 s a picture may hold the interface thread count from
// its tick, and only while the process runs. A file that fails leaves black for one interval, and
// the cycle goes on.
TEST(PictureCycle, FileTwoIsShownAsItIsAtItsTickOrLeavesBlackForOneInterval) {
  // A fresh decode of the slow files takes 5 s at the tick; a prepared one
  // none.
  const std::string landscape = sim::SlowPictureFile(640, 480, 5000);
  const sim::File slow{landscape}, slower{sim::SlowPictureFile(640, 480, 8000)};
  sim::File inPlace{sim::SlowPictureFile(480, 640, 5000)};  // as many bytes, same write time
  inPlace.changeTime = 1;
  sim::File sharedAway{landscape};
  sharedAway.sharedAway = true;
  const sim::File bad{"SIMPIC"}, noMemory{sim::PictureFile(640, 480) + " nomem"};
  const sim::File slowDecode{sim::SlowPictureFile(640, 480, 6000)};
  sim::File slowShare = slowDecode;  // the same file, now 6 s to open
  slowShare.openMs = 6000;
  const struct {
    const char* name;
    sim::File before, atTick;
    std::uint64_t changedAt;        // when the change to 002 is complete
    std::optional<int> shownWidth;  // none: black
    std::function<void(sim::SimOs&)> machine;
  } cases[] = {
      {"unchanged", slow, slow, 20000, 640, {}},
      {"rewritten in place", slow, inPlace, 25000, 480, {}},
      {"replaced by a bad file", slow, {"SIMPIC", false, false, 1}, 20000, std::nullopt, {}},
      {"bad all along", bad, bad, 20000, std::nullopt, {}},
      {"no memory for it", noMemory, noMemory, 20000, std::nullopt, {}},
      {"shared away while prepared", sharedAway, slow, 25000, 640, {}},
      {"busy machine starves the preparation", slower, slower, 28000, 640,
       [](sim::SimOs& os) { os.BusyBetween(0, 100000); }},
      // The preparation ends at 26 s (the slice it ends in is not counted);
      // the check would take until 32 s.
      {"the check shares the 10 s with the preparation", slowDecode, slowShare, 30250, std::nullopt,
       [](sim::SimOs& os) { os.BusyBetween(0, 100000); }},
      {"stopped for 25 s while it is waited for", slower, slower, 53000, 640,
       [](sim::SimOs& os) {
         os.BusyBetween(0, 100000);
         os.SuspendAt(22000, 25000);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SimRun run;
    if (c.machine) c.machine(run.os);
    run.Put(2, c.before);
    run.Start(u"/s");
    run.os.Advance(19000);
    run.Put(2, c.atTick);
    run.os.Advance(1000);
    for (int late = 0; late < 60 && run.module.Form1.PictureIndex == 2; ++late) {
      run.os.Advance(1000);
    }
    ASSERT_FALSE(run.os.Exited());
    EXPECT_EQ(run.os.now, c.changedAt);
    EXPECT_EQ(run.Shown() ? std::optional(run.os.Find(run.ImageWindow())->picture->WidthPx())
                          : std::nullopt,
              c.shownWidth);
    EXPECT_EQ(run.Count(PrepareCall(3)), 1);
    run.os.Advance(20000);
    EXPECT_TRUE(run.Shown() && !run.os.Exited());
    EXPECT_GT(run.module.Form1.PictureIndex, 3);
    EXPECT_TRUE(run.os.messageBoxes.empty());
  }
}

// 002 never finishes decoding: it is given up 10 s after its tick and left
// behind, and refused at once on its later turns while it is unchanged. One
// more decode may be left behind beside it; then a file fails at once, until
// one of them ends and its room is free again.
TEST(PictureCycle, AnOverrunFileIsBadUntilItChangesAndTwoLeftBehindStopTheDecoding) {
  SimRun run;
  run.Put(2, {sim::HangingPictureFile(400, 300)});
  run.Start(u"/s");
  run.os.Advance(20000);
  EXPECT_EQ(run.os.now, 30000u);  // waited for 10 s from its tick
  EXPECT_FALSE(run.Shown());
  EXPECT_EQ(run.module.Form1.PictureIndex, 3);
  run.os.Advance(9000);  // 003 has been prepared
  run.Put(3, {sim::SlowPictureFile(640, 480, 25000)});
  run.os.Advance(11000);
  EXPECT_EQ(run.os.now, 50000u);  // 003 decoded afresh at 40 s, given up 10 s later
  run.os.Advance(10000);
  EXPECT_EQ(run.os.now, 60000u);  // 004 fails at once: no room for a decode
  EXPECT_FALSE(run.Shown());
  EXPECT_EQ(run.os.RunningDecodes(), 2);
  EXPECT_EQ(run.os.Calls({"BeginLoadPicture", "BeginPreparePicture"}),
            (Lines{LoadCall(1), PrepareCall(2), PrepareCall(3), CheckCall(3)}));
  run.os.Advance(20000);  // 003's decode has ended by 80 s: 005 is decoded
  EXPECT_TRUE(run.Shown());

  for (int tick = 0; tick < 50 && run.module.Form1.PictureIndex != 2; ++tick) {
    run.os.Advance(20000);
  }
  const std::uint64_t tick = run.os.now + 20000;  // 002's turn
  run.os.Advance(20000);
  EXPECT_EQ(run.os.now, tick);  // black again, at once
  EXPECT_FALSE(run.Shown());
  EXPECT_EQ(run.os.RunningDecodes(), 1);
  run.Put(2, {sim::PictureFile(400, 300), false, false, /*writeTime=*/1});
  for (int tick = 0; tick < 50; ++tick) run.os.Advance(20000);
  EXPECT_TRUE(run.Shown());
}

// Over camera, phone and odd sizes on common screens and monitor layouts,
// the bitmap made ahead is the size the image control comes to have.
TEST(PictureCycle, ThePreparedBitmapIsTheSizeThePictureIsPaintedAt) {
  const host::SizePx pictures[] = {{640, 480}, {4001, 2999}, {3024, 4032}, {1000, 1000},
                                   {333, 777}, {12345, 77},  {1366, 769},  {1921, 1080}};
  // The last two: the larger monitor not the primary, and one to its left.
  const std::vector<host::RectPx> layouts[] = {{{0, 0, 1366, 768}},
                                               {{0, 0, 1366, 768}, {1366, 0, 1920, 1080}},
                                               {{0, 0, 1920, 1080}, {-2560, 0, 2560, 1440}}};
  for (const auto& monitors : layouts) {
    SCOPED_TRACE(::testing::Message() << monitors[0].width << " x " << monitors[0].height);
    SimRun run;
    run.os.monitors = monitors;
    for (int i = 1; i <= 50; ++i) {
      const host::SizePx size = pictures[(i - 1) % std::size(pictures)];
      run.Put(i, {sim::PictureFile(size.width, size.height)});
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

}  // namespace
