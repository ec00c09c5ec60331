// The counter arithmetic: wraps, resets, totals and rates.
#include <gtest/gtest.h>

#include "collector/Counts.h"

namespace kestrel::collector {
namespace {

struct IncreaseCase {
  const char* what;
  std::uint32_t previous, current;
  std::uint64_t increase;
  bool wrapped, reset;
};

TEST(CountIncrease, TellsWrapsFromResets) {
  constexpr std::uint32_t kTop = 0xFFFFFFFFu;
  const IncreaseCase cases[] = {
      {"steady", 100, 150, 50, false, false},
      {"no change", 7, 7, 0, false, false},
      {"top to zero is one pulse", kTop, 0, 1, true, false},
      {"wrap past the top", kTop - 9, 5, 15, true, false},
      {"decrease by just over half is a wrap", 0x80000001u, 0, 0x7FFFFFFFu, true, false},
      {"decrease by exactly half is a reset", 0x80000000u, 0, 0, false, true},
      {"reset from a small count", 1000, 3, 3, false, true},
      {"reset from near the top to near it", kTop, 0x80000000u, 0x80000000u, false, true},
  };
  for (const IncreaseCase& c : cases) {
    const CountStep step = CountIncrease(c.previous, c.current);
    EXPECT_EQ(step.increase, c.increase) << c.what;
    EXPECT_EQ(step.wrapped, c.wrapped) << c.what;
    EXPECT_EQ(step.reset, c.reset) << c.what;
  }
}

TEST(CounterTrack, TotalsAcrossWrapAndResetWithRates) {
  using namespace std::chrono_literals;
  CounterTrack track;
  const SteadyClock::time_point t0{};
  struct Step {
    std::uint32_t raw;
    std::chrono::milliseconds at;
    std::uint64_t increase, total;
    std::optional<double> rate;
  };
  const Step steps[] = {
      {0xFFFFFFF0u, 0ms, 0, 0, std::nullopt},  // first: nothing to compare with
      {0xFFFFFFFAu, 500ms, 10, 10, 20.0},
      {4u, 1500ms, 10, 20, 10.0},              // wrap
      {2u, 2000ms, 2, 22, 4.0},                // reset: the 2 since then
      {2u, 2000ms, 0, 22, std::nullopt},       // same instant: no rate, never NaN
  };
  for (const Step& s : steps) {
    const InputValue v = track.Update(s.raw, t0 + s.at);
    EXPECT_TRUE(v.present);
    EXPECT_EQ(v.raw, s.raw);
    EXPECT_EQ(v.increase, s.increase) << s.at.count();
    EXPECT_EQ(v.total, s.total) << s.at.count();
    ASSERT_EQ(v.rate.has_value(), s.rate.has_value()) << s.at.count();
    if (s.rate) {
      EXPECT_DOUBLE_EQ(*v.rate, *s.rate);
    }
  }
}

}  // namespace
}  // namespace kestrel::collector
