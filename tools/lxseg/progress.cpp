#include "progress.h"

#include <algorithm>
#include <cstdio>

namespace lxseg {

Progress::Progress(bool enabled, int64_t total)
    : enabled_(enabled && total > 0),
      total_(total > 0 ? static_cast<uint64_t>(total) : 0),
      start_(Clock::now()),
      last_draw_(start_) {}

void Progress::advance(uint64_t bytes) {
  if (!enabled_) return;
  done_ += bytes;
  const Clock::time_point now = Clock::now();
  if (now - last_draw_ >= std::chrono::milliseconds(200)) draw(now);
}

void Progress::draw(Clock::time_point now) {
  last_draw_ = now;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  const uint64_t done = std::min(done_, total_);
  const double rate = seconds > 0 ? done / seconds : 0;  // bytes per second
  const double fraction = static_cast<double>(done) / total_;
  constexpr int width = 30;
  const int filled = static_cast<int>(fraction * width);
  char bar[width + 1];
  for (int i = 0; i < width; ++i) bar[i] = i < filled ? '#' : '-';
  bar[width] = '\0';
  char left[32] = "--:--";
  if (rate > 0) {
    const long s = static_cast<long>((total_ - done) / rate + 0.5);
    std::snprintf(left, sizeof left, "%ld:%02ld", s / 60, s % 60);
  }
  std::fprintf(stderr, "\r[%s] %3d%% %.1f/%.1f MB %.2f MB/s %s left ", bar,
               static_cast<int>(fraction * 100), done / 1e6, total_ / 1e6, rate / 1e6, left);
  std::fflush(stderr);
  drawn_ = true;
}

void Progress::finish() {
  if (!drawn_) return;
  std::fprintf(stderr, "\r%*s\r", 78, "");
  std::fflush(stderr);
  drawn_ = false;
}

}  // namespace lxseg
