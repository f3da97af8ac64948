// 100 000 ticks over a folder whose files keep changing, half of them beside one whose decode
// never returns. The mouse rule is seen in the saver window's tests.
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

  bool LoadsCompletely(int index) {
    const auto found = os.files.find(DatFile(index));
    int width = 0, height = 0;
    return found != os.files.end() && !found->second.directory &&
           std::sscanf(found->second.content.c_str(), "SIMPIC %d %d", &width, &height) == 2 &&
           height > 0 && found->second.content.find("hang") == std::string::npos;
  }

  // The picture shows only when the file loads; the stuck decode and a
  // preparation hold one file each at most.
  void Tick() {
    const std::int16_t before = module.Form1.PictureIndex;
    os.Advance(20000);
    ASSERT_EQ(module.Form1.PictureIndex, before % 50 + 1);
    ASSERT_EQ(Shown(), LoadsCompletely(before));
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
    ASSERT_FALSE(soak.os.Exited()) << "tick " << tick;
    soak.Tick();
    if (HasFatalFailure()) return;
  }
  soak.os.logging = true;
  soak.os.KeyDown(soak.form, 'Q');
  testing_support::ExpectDesktopRestored(soak);
}

}  // namespace
