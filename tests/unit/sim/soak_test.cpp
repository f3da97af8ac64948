// 100 000 ticks over a folder whose files keep changing, half of them beside one whose decode
// never returns, with mouse movements mixed in that must never end the saver.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <tuple>

#include "support/sim_run.h"

namespace {

using testing_support::DatFile;

const host::Text kHanging = DatFile(7);

struct Soak {
  testing_support::SimRun run;
  std::mt19937 random;
  host::WindowId tray = run.os.AddTrayWindow();

  std::uint64_t writes = 0;
  std::uint64_t largestFile = 0;

  explicit Soak(std::uint32_t seed) : random(seed) { run.os.screenSaveActive = true; }

  void Write(const host::Text& name, sim::File file) {
    file.writeTime = ++writes;
    largestFile = std::max<std::uint64_t>(largestFile, file.content.size());
    run.os.files[name] = std::move(file);
  }

  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); }

  std::tuple<int, bool, bool> Desktop() {
    return {run.os.cursorCount, run.os.Find(tray)->visible, run.os.screenSaveActive};
  }

  // The stuck decode and a preparation, each holding one file at most.
  void ExpectDecodesBounded() {
    ASSERT_LE(run.os.RunningDecodes(), 2);
    ASSERT_LE(run.os.HeldDecodeBytes(), 2 * largestFile);
  }

  // A few files of the folder change between two ticks: gone, unreadable, of
  // zero size, a directory, slow within the time limit, or any size.
  void ChangeFiles() {
    for (int n = 0; n < 4; ++n) {
      const host::Text name = DatFile(Pick(50) + 1);
      if (name == kHanging) continue;
      const int kind = Pick(7);
      if (kind == 0) {
        run.os.files.erase(name);
        continue;
      }
      Write(name, kind == 1   ? sim::File{"\x89PNG garbage"}
                  : kind == 2 ? sim::File{sim::PictureFile(Pick(3), Pick(3))}
                  : kind == 3 ? sim::File{"", true}
                  : kind == 4
                      ? sim::File{sim::SlowPictureFile(1 + Pick(5000), 1 + Pick(5000), Pick(10000))}
                      : sim::File{sim::PictureFile(1 + Pick(5000), 1 + Pick(5000))});
    }
  }

  // A move that the rule lets pass: the first after arming goes anywhere,
  // later ones stay within 5 pixels of the baseline on one axis at least.
  void HarmlessMove() {
    saver::Form1& form = run.module.Form1;
    float x = static_cast<float>(Pick(4000)) - 1000;
    float y = static_cast<float>(Pick(4000)) - 1000;
    if (form.FirstMouseMove == host::kFalse) {
      const float offset = static_cast<float>(Pick(11) - 5);
      if (Pick(2) == 0)
        x = form.MouseStartX + offset;
      else
        y = form.MouseStartY + offset;
    }
    run.os.MouseMove(Pick(2) == 0 ? run.SaverWindow() : run.ImageWindow(), x, y);
  }

  void Tick() {
    saver::Form1& form = run.module.Form1;
    const std::int16_t before = form.PictureIndex;
    const host::Boolean16 armed = form.FirstMouseMove;
    run.os.Advance(20000);
    const bool complete = LoadsCompletely(DatFile(before));
    ASSERT_EQ(form.PictureIndex, before % 50 + 1);
    ASSERT_EQ(run.os.Find(run.ImageWindow())->visible, complete);
    ASSERT_EQ(form.FirstMouseMove, complete ? host::kTrue : armed);
  }

  bool LoadsCompletely(const host::Text& file) {
    const auto found = run.os.files.find(file);
    if (found == run.os.files.end() || found->second.directory) return false;
    int width = 0, height = 0;
    return std::sscanf(found->second.content.c_str(), "SIMPIC %d %d", &width, &height) == 2 &&
           height > 0 && found->second.content.find("hang") == std::string::npos;
  }

  void EndRandomly() {
    const host::WindowId form = run.SaverWindow();
    const int way = Pick(4);
    if (way == 0) run.os.KeyDown(form, 'Q');
    if (way == 1) run.os.MouseDown(run.ImageWindow(), 1, 1);
    if (way == 2) run.os.Close(form);
    if (way == 3) {
      for (double at : {0.0, 5000.0, -5000.0}) run.os.MouseMove(form, at, at);
    }
  }
};

TEST(Soak, HundredThousandTicksKeepTheInvariantsAndEndCleanly) {
  Soak soak(20261207);
  const auto before = soak.Desktop();
  soak.run.Start(u"/s");
  soak.run.os.logging = false;
  soak.run.os.log.clear();
  for (int tick = 0; tick < 100000; ++tick) {
    if (tick == 50000) soak.Write(kHanging, {sim::HangingPictureFile(400, 300)});
    soak.ChangeFiles();
    for (int moves = soak.Pick(3); moves > 0; --moves) soak.HarmlessMove();
    ASSERT_FALSE(soak.run.os.Exited()) << "tick " << tick;
    soak.Tick();
    soak.ExpectDecodesBounded();
    if (HasFatalFailure()) return;
  }
  soak.run.os.logging = true;
  soak.EndRandomly();
  EXPECT_TRUE(soak.run.os.Exited());
  EXPECT_EQ(soak.run.Count("ShowCursor(-1)"), 1);
  EXPECT_EQ(soak.run.os.Calls({"ImmAssociateContext"}).size(), 1u);
  EXPECT_EQ(soak.Desktop(), before);
}

}  // namespace
