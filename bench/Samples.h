#pragma once
// Timings of one figure and their summary: median, and the spread as the
// 10th to 90th percentile.
#include <algorithm>
#include <chrono>
#include <vector>

namespace kestrel::bench {

class Samples {
 public:
  void Add(std::chrono::nanoseconds d) { ms_.push_back(std::chrono::duration<double, std::milli>(d).count()); }
  std::size_t size() const { return ms_.size(); }
  double Median() const { return At(0.5); }
  double Low() const { return At(0.1); }
  double High() const { return At(0.9); }

 private:
  // The value below which `fraction` of the samples lie (nearest rank).
  double At(double fraction) const {
    if (ms_.empty()) return 0;
    std::vector<double> sorted = ms_;
    std::sort(sorted.begin(), sorted.end());
    const auto rank = static_cast<std::size_t>(fraction * static_cast<double>(sorted.size() - 1) + 0.5);
    return sorted[rank];
  }
  std::vector<double> ms_;
};

// Runs `action` `count` times and times each run.
template <class Action>
Samples Measure(int count, Action&& action) {
  Samples samples;
  for (int i = 0; i < count; ++i) {
    const auto start = std::chrono::steady_clock::now();
    action();
    samples.Add(std::chrono::steady_clock::now() - start);
  }
  return samples;
}

}  // namespace kestrel::bench
