// The progress bar on standard error: bytes done, speed and time left.
#ifndef LXSEG_PROGRESS_H
#define LXSEG_PROGRESS_H

#include <chrono>
#include <cstdint>

namespace lxseg {

class Progress {
 public:
  // Shows nothing unless `enabled` and `total` (bytes) is known.
  Progress(bool enabled, int64_t total);
  // `bytes` more of the input are done; redraws a few times a second.
  void advance(uint64_t bytes);
  // Clears the bar.
  void finish();

 private:
  using Clock = std::chrono::steady_clock;
  void draw(Clock::time_point now);

  bool enabled_;
  uint64_t total_;
  uint64_t done_ = 0;
  Clock::time_point start_, last_draw_;
  bool drawn_ = false;
};

}  // namespace lxseg

#endif
