// The injectable sleep: the hook takes every pause, the scale shortens them.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "zuvoze/platform/sleep.h"
#include "zuvoze/testsupport.h"

using namespace zuvoze::plat;
namespace zt = zuvoze::testing;

namespace {

struct SleepTest : ::testing::Test {
  void TearDown() override {
    setSleepHook(nullptr);
    zt::unsetEnv("ZUVOZE_SLEEP_SCALE");
  }
};

TEST_F(SleepTest, HookReceivesEveryPauseInsteadOfSleeping) {
  std::vector<uint32_t> seen;
  setSleepHook([&seen](uint32_t ms) { seen.push_back(ms); });
  zt::setEnv("ZUVOZE_SLEEP_SCALE", "100");  // the hook wins over the scale
  sleepMs(5);
  sleepMs(20000);
  sleepMs(0);
  sleepMs(0xFFFFFFFFu);  // would be 49 days
  EXPECT_EQ((std::vector<uint32_t>{5, 20000, 0, 0xFFFFFFFFu}), seen);

  setSleepHook(nullptr);
  zt::setEnv("ZUVOZE_SLEEP_SCALE", "0");
  sleepMs(1);
  EXPECT_EQ(4u, seen.size());  // the old hook is gone
}

TEST_F(SleepTest, ScaleZeroSkipsThePauses) {
  zt::setEnv("ZUVOZE_SLEEP_SCALE", "0");
  // Ten minutes each unless skipped; the test's own timeout would catch it.
  sleepMs(600000);
  sleepMs(0xFFFFFFFFu);
  SUCCEED();
}

TEST_F(SleepTest, WithoutHookOrScaleThePauseIsReal) {
  struct Case {
    const char* scale;  // nullptr: unset
    uint32_t ms;
    int atLeastMs;
  } cases[] = {{nullptr, 60, 50}, {"abc", 60, 50}, {"200", 30, 50}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.scale != nullptr ? c.scale : "unset");
    if (c.scale != nullptr) zt::setEnv("ZUVOZE_SLEEP_SCALE", c.scale);
    else zt::unsetEnv("ZUVOZE_SLEEP_SCALE");
    auto start = std::chrono::steady_clock::now();
    sleepMs(c.ms);
    auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::steady_clock::now() - start)
                    .count();
    EXPECT_GE(took, c.atLeastMs);
  }
}

}  // namespace
