// 100 000 ticks over a folder whose files keep changing, half of them beside one whose decode
// never returns, with mouse movements mixed in that must never end the saver.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "support/sim_run.h"

namespace {

using testing_support::DatFile;

struct Soak : testing_support::SaverRun {
  std::mt19937 random{20261207};
  std::uint64_t writes = 0, largestFile = 0;

  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); }

  void Write(int index, sim::File file) {
    file.writeTime = ++writes;
    largestFile = std::max<std::uint64_t>(largestFile, file.content.size());
    Put(index, std::move(file));
  }

  // A few files change between two ticks: gone, unreadable, of zero size, a
  // directory, slow within the time limit, or any size; 007 hangs from half way.
  void ChangeFiles() {
    for (int n = 0; n < 4; ++n) {
      const int index = Pick(50) + 1, kind = Pick(7), width = 1 + Pick(5000);
      if (index == 7) continue;
      if (kind == 0) os.files.erase(DatFile(index));
      if (kind == 0) continue;
      Write(index, kind == 1   ? sim::File{"\x89PNG garbage"}
                   : kind == 2 ? sim::File{sim::PictureFile(Pick(3), Pick(3))}
                   : kind == 3 ? sim::File{"", true}
                   : kind == 4 ? sim::File{sim::SlowPictureFile(width, 1 + Pick(5000), Pick(10000))}
                               : sim::File{sim::PictureFile(width, 1 + Pick(5000))});
    }
  }

  // A move the rule lets pass: the first after arming goes anywhere, later
  // ones stay within 5 pixels of the baseline on one axis at least.
  void HarmlessMove() {
    const saver::Form1& saver = module.Form1;
    float x = static_cast<float>(Pick(4000)) - 1000, y = static_cast<float>(Pick(4000)) - 1000;
    const float offset = static_cast<float>(Pick(11) - 5);
    if (saver.FirstMouseMove == host::kFalse && Pick(2) == 0)
      x = saver.MouseStartX + offset;
    else if (saver.FirstMouseMove == host::kFalse)
      y = saver.MouseStartY + offset;
    os.MouseMove(Pick(2) == 0 ? form : ImageWindow(), x, y);
  }

  bool LoadsCompletely(int index) {
    const auto found = os.files.find(DatFile(index));
    int width = 0, height = 0;
    return found != os.files.end() && !found->second.directory &&
           std::sscanf(found->second.content.c_str(), "SIMPIC %d %d", &width, &height) == 2 &&
           height > 0 && found->second.content.find("hang") == std::string::npos;
  }

  // The picture shows, and the mouse baseline is re-armed, only when the
  // file loads; the stuck decode and a preparation hold one file each at most.
  void Tick() {
    const saver::Form1& saver = module.Form1;
    const std::int16_t before = saver.PictureIndex;
    const host::Boolean16 armed = saver.FirstMouseMove;
    os.Advance(20000);
    const bool complete = LoadsCompletely(before);
    ASSERT_EQ(saver.PictureIndex, before % 50 + 1);
    ASSERT_EQ(Shown(), complete);
    ASSERT_EQ(saver.FirstMouseMove, complete ? host::kTrue : armed);
    ASSERT_LE(os.RunningDecodes(), 2);
    ASSERT_LE(os.HeldDecodeBytes(), 2 * largestFile);
  }
};

TEST(Soak, HundredThousandTicksKeepTheInvariantsAndEndCleanly) {
  Soak soak;
  soak.os.log.clear();
  soak.os.logging = false;
  for (int tick = 0; tick < 100000; ++tick) {
    if (tick == 50000) soak.Write(7, {sim::HangingPictureFile(400, 300)});
    soak.ChangeFiles();
    for (int moves = soak.Pick(3); moves > 0; --moves) soak.HarmlessMove();
    ASSERT_FALSE(soak.os.Exited()) << "tick " << tick;
    soak.Tick();
    if (HasFatalFailure()) return;
  }
  soak.os.logging = true;
  const int way = soak.Pick(4);
  if (way == 0) soak.os.KeyDown(soak.form, 'Q');
  if (way == 1) soak.os.MouseDown(soak.ImageWindow(), 1, 1);
  if (way == 2) soak.os.Close(soak.form);
  for (double at : {0.0, 5000.0, -5000.0}) {
    if (way == 3) soak.os.MouseMove(soak.form, at, at);
  }
  testing_support::ExpectDesktopRestored(soak);
}

}  // namespace
