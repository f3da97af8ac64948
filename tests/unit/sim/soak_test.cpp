// Weeks of virtual time on the simulated desktop: 100 000 ticks over a
// folder whose files keep changing between good, slow, missing, unreadable
// and hostile, beside one whose decode never returns, with mouse movements
// mixed in that must never end the saver.
#include <gtest/gtest.h>

#include <random>

#include "support/sim_run.h"

namespace {

using testing_support::SimRun;

struct Desktop {
  int cursorCount;
  bool trayVisible;
  bool screenSaveActive;
  friend bool operator==(const Desktop&, const Desktop&) = default;
};

class Soak {
 public:
  explicit Soak(std::uint32_t seed) : random_(seed) {
    tray_ = run_.os.AddTrayWindow();
    run_.os.screenSaveActive = true;
    for (int i = 1; i <= 50; ++i) names_.push_back(saver::PictureFileName(u"C:\\WINDOWS", i));
    run_.os.files[names_[kHanging]] = {sim::HangingPictureFile(400, 300)};
  }

  // What one stuck decode may hold: nothing besides its own file.
  void ExpectDecodesBounded() {
    ASSERT_LE(run_.os.RunningDecodes(), 1);
    ASSERT_LE(run_.os.HeldDecodeBytes(), run_.os.files[names_[kHanging]].content.size());
  }

  Desktop Snapshot() {
    return {run_.os.cursorCount, run_.os.Find(tray_)->visible, run_.os.screenSaveActive};
  }

  // A few files of the folder change between two ticks.
  void ChangeFiles() {
    for (int n = 0; n < 4; ++n) {
      const host::Text& name = names_[Pick(50)];
      if (name == names_[kHanging]) continue;
      switch (Pick(7)) {
        case 0:
          run_.os.files.erase(name);
          break;
        case 1:
          run_.os.files[name] = {"\x89PNG garbage"};
          break;
        case 2:
          run_.os.files[name] = {sim::PictureFile(Pick(3), Pick(3))};
          break;  // zero sizes
        case 3:
          run_.os.files[name] = {"", true};
          break;  // a directory
        case 4:
          run_.os.files[name] = {sim::SlowPictureFile(1 + Pick(5000), 1 + Pick(5000), Pick(10000))};
          break;  // within the time limit
        default:
          run_.os.files[name] = {sim::PictureFile(1 + Pick(5000), 1 + Pick(5000))};
      }
    }
  }

  // A move that the rule lets pass: the first after arming goes anywhere,
  // later ones stay within 5 pixels of the baseline on one axis at least.
  void HarmlessMove() {
    saver::Form1& form = run_.module.Form1;
    float x = static_cast<float>(Pick(4000)) - 1000;
    float y = static_cast<float>(Pick(4000)) - 1000;
    if (form.FirstMouseMove == host::kFalse) {
      const float offset = static_cast<float>(Pick(11) - 5);
      if (Pick(2) == 0) {
        x = form.MouseStartX + offset;
      } else {
        y = form.MouseStartY + offset;
      }
    }
    run_.os.MouseMove(Pick(2) == 0 ? run_.SaverWindow() : run_.ImageWindow(), x, y);
  }

  void Tick() {
    saver::Form1& form = run_.module.Form1;
    const std::int16_t before = form.PictureIndex;
    const host::Boolean16 armed = form.FirstMouseMove;
    const host::Text file = saver::PictureFileName(u"C:\\WINDOWS", before);
    run_.os.Advance(20000);
    const bool complete = LoadsCompletely(file);
    ASSERT_EQ(form.PictureIndex, before % 50 + 1);
    ASSERT_EQ(run_.os.Find(run_.ImageWindow())->visible, complete);
    ASSERT_EQ(form.FirstMouseMove, complete ? host::kTrue : armed);
  }

  bool LoadsCompletely(const host::Text& file) {
    const auto found = run_.os.files.find(file);
    if (found == run_.os.files.end() || found->second.directory) return false;
    int width = 0, height = 0;
    return std::sscanf(found->second.content.c_str(), "SIMPIC %d %d", &width, &height) == 2 &&
           height > 0 && found->second.content.find("hang") == std::string::npos;
  }

  void EndRandomly() {
    const host::WindowId form = run_.SaverWindow();
    switch (Pick(4)) {
      case 0:
        run_.os.KeyDown(form, 'Q');
        break;
      case 1:
        run_.os.MouseDown(run_.ImageWindow(), 1, 1);
        break;
      case 2:
        run_.os.Close(form);
        break;
      default:
        run_.os.MouseMove(form, 0, 0);
        run_.os.MouseMove(form, 5000, 5000);
        run_.os.MouseMove(form, -5000, -5000);
    }
  }

  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
  SimRun& run() { return run_; }

 private:
  static constexpr int kHanging = 6;  // ZARVO007.DAT
  SimRun run_;
  std::mt19937 random_;
  host::WindowId tray_ = 0;
  std::vector<host::Text> names_;
};

TEST(Soak, HundredThousandTicksKeepTheInvariantsAndEndCleanly) {
  Soak soak(20261207);
  const Desktop before = soak.Snapshot();
  soak.run().Start(u"/s");
  soak.run().os.logging = false;
  soak.run().os.log.clear();
  for (int tick = 0; tick < 100000; ++tick) {
    soak.ChangeFiles();
    for (int moves = soak.Pick(3); moves > 0; --moves) soak.HarmlessMove();
    ASSERT_FALSE(soak.run().os.Exited()) << "tick " << tick;
    soak.Tick();
    soak.ExpectDecodesBounded();
    if (HasFatalFailure()) return;
  }
  soak.run().os.logging = true;
  soak.EndRandomly();
  EXPECT_TRUE(soak.run().os.Exited());
  EXPECT_EQ(soak.run().Count("ShowCursor(-1)"), 1);
  EXPECT_EQ(soak.run().os.Calls({"ImmAssociateContext"}).size(), 1u);
  EXPECT_EQ(soak.Snapshot(), before);
}

}  // namespace
