#include "pipeline.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "LXSegFunc.h"
#include "format.h"
#include "input.h"
#include "progress.h"

namespace lxseg {
namespace {

// A run of input lines, stored end to end, and their output.
struct Batch {
  uint64_t seq = 0;
  std::string text;
  std::vector<size_t> ends;  // end of each line in `text`
  uint64_t input_bytes = 0;  // line ends included
  std::string out;
};

constexpr size_t batch_lines = 256;
constexpr size_t batch_bytes = 64 * 1024;

class Pipeline {
 public:
  Pipeline(const Options& opts, FILE* out, const std::string& out_name)
      : opts_(opts), out_(out), out_name_(out_name), max_in_flight_(2 * opts.threads + 2) {}
  int run();

 private:
  void read_inputs();
  void submit(std::unique_ptr<Batch>& batch);
  void work(HANDLE h);
  void write(Progress& progress);

  const Options& opts_;
  FILE* out_;
  const std::string& out_name_;
  const size_t max_in_flight_;

  std::mutex mu_;
  std::condition_variable work_cv_, done_cv_, room_cv_;
  std::deque<std::unique_ptr<Batch>> todo_;
  std::map<uint64_t, std::unique_ptr<Batch>> done_;
  size_t in_flight_ = 0;
  uint64_t submitted_ = 0;
  bool closed_ = false;

  bool input_failed_ = false;
  std::atomic<uint64_t> failed_lines_{0};
  int write_errno_ = 0;
};

void Pipeline::submit(std::unique_ptr<Batch>& batch) {
  if (batch->ends.empty() && batch->input_bytes == 0) return;
  std::unique_lock<std::mutex> lock(mu_);
  room_cv_.wait(lock, [&] { return in_flight_ < max_in_flight_; });
  ++in_flight_;
  batch->seq = submitted_++;
  todo_.push_back(std::move(batch));
  work_cv_.notify_one();
  batch = std::make_unique<Batch>();
}

void Pipeline::read_inputs() {
  std::vector<std::string> inputs = opts_.inputs;
  if (inputs.empty()) inputs.push_back("-");
  auto batch = std::make_unique<Batch>();
  for (const std::string& name : inputs) {
    LineReader reader;
    const char* shown = name == "-" ? "standard input" : name.c_str();
    if (!reader.open(name)) {
      std::fprintf(stderr, "lxseg: %s: %s\n", shown, reader.error().c_str());
      input_failed_ = true;
      continue;
    }
    uint64_t counted = 0;
    while (reader.next(batch->text)) {
      batch->ends.push_back(batch->text.size());
      batch->input_bytes += reader.bytes_read() - counted;
      counted = reader.bytes_read();
      if (batch->ends.size() >= batch_lines || batch->text.size() >= batch_bytes) submit(batch);
    }
    if (!reader.error().empty()) {
      std::fprintf(stderr, "lxseg: %s: %s\n", shown, reader.error().c_str());
      input_failed_ = true;
    }
  }
  submit(batch);
  std::lock_guard<std::mutex> lock(mu_);
  closed_ = true;
  work_cv_.notify_all();
  done_cv_.notify_all();
}

void Pipeline::work(HANDLE h) {
  const size_t charset = opts_.charset == Charset::gbk ? LX_GBK : LX_UTF8;
  for (;;) {
    std::unique_ptr<Batch> batch;
    {
      std::unique_lock<std::mutex> lock(mu_);
      work_cv_.wait(lock, [&] { return !todo_.empty() || closed_; });
      if (todo_.empty()) return;
      batch = std::move(todo_.front());
      todo_.pop_front();
    }
    batch->out.reserve(batch->text.size() * (opts_.format == Format::json ? 8 : 2));
    size_t begin = 0;
    for (size_t end : batch->ends) {
      const std::string_view line(batch->text.data() + begin, end - begin);
      begin = end;
      HANDLE used = h;
      if (!line.empty() && !LXSegment(h, line.data(), line.size(), charset)) {
        failed_lines_.fetch_add(1, std::memory_order_relaxed);
        used = nullptr;  // an empty result for this line
      }
      format_line(opts_.format, opts_.charset, !opts_.normalised, used, line, batch->out);
    }
    std::lock_guard<std::mutex> lock(mu_);
    const uint64_t seq = batch->seq;
    done_.emplace(seq, std::move(batch));
    done_cv_.notify_all();
  }
}

void Pipeline::write(Progress& progress) {
  for (uint64_t next = 0;; ++next) {
    std::unique_ptr<Batch> batch;
    {
      std::unique_lock<std::mutex> lock(mu_);
      done_cv_.wait(lock, [&] { return done_.count(next) || (closed_ && next == submitted_); });
      auto it = done_.find(next);
      if (it == done_.end()) return;
      batch = std::move(it->second);
      done_.erase(it);
    }
    if (write_errno_ == 0 && std::fwrite(batch->out.data(), 1, batch->out.size(), out_) !=
                                 batch->out.size()) {
      write_errno_ = errno ? errno : EIO;
    }
    progress.advance(batch->input_bytes);
    batch.reset();
    std::lock_guard<std::mutex> lock(mu_);
    --in_flight_;
    room_cv_.notify_one();
  }
}

int Pipeline::run() {
  // The bar shows only when every input is a file whose size is known.
  int64_t total = opts_.inputs.empty() ? -1 : 0;
  for (const std::string& name : opts_.inputs) {
    const int64_t size = input_size(name);
    total = size < 0 || total < 0 ? -1 : total + size;
  }
  Progress progress(isatty(STDERR_FILENO) == 1, total);

  const int mode = mode_flags(opts_);
  std::vector<HANDLE> handles;
  for (unsigned i = 0; i < opts_.threads; ++i) {
    HANDLE h = LXCreateSegHandle(mode);
    if (!h) {
      std::fprintf(stderr, "lxseg: out of memory\n");
      for (HANDLE made : handles) LXCloseSegHandle(made);
      return exit_failure;
    }
    // PKU mode is shared by every handle; it is switched before any segments.
    if (i == 0 && opts_.pku) LXSetPKUMode(h);
    handles.push_back(h);
  }

  std::vector<std::thread> workers;
  for (HANDLE h : handles) workers.emplace_back([this, h] { work(h); });
  std::thread writer([this, &progress] { write(progress); });
  read_inputs();
  for (std::thread& t : workers) t.join();
  writer.join();
  progress.finish();
  for (HANDLE h : handles) LXCloseSegHandle(h);

  if (write_errno_ == 0 && std::fflush(out_) != 0) write_errno_ = errno ? errno : EIO;
  if (write_errno_ != 0) {
    std::fprintf(stderr, "lxseg: %s: %s\n", out_name_.c_str(), std::strerror(write_errno_));
  }
  if (failed_lines_ > 0) {
    std::fprintf(stderr, "lxseg: %llu line(s) could not be segmented and were left empty\n",
                 static_cast<unsigned long long>(failed_lines_.load()));
  }
  return input_failed_ || write_errno_ != 0 || failed_lines_ > 0 ? exit_failure : exit_ok;
}

}  // namespace

int run_pipeline(const Options& opts, FILE* out, const std::string& out_name) {
  return Pipeline(opts, out, out_name).run();
}

}  // namespace lxseg
