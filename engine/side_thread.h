// A second thread for the memory-bound steps of one operation (extracting keys, sorting,
// filling pages), so that a build uses two cores. Only work on memory goes to it: every file
// call stays on the thread that owns the operation, so file calls keep their order. Internal
// to the engine.
#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace kx::engine {

class SideThread {
 public:
  // With `start` false (work too small to be worth a thread) no thread is made and Both()
  // runs both parts on the caller.
  explicit SideThread(bool start = true);
  ~SideThread();  // waits for the thread to end
  SideThread(const SideThread&) = delete;
  SideThread& operator=(const SideThread&) = delete;

  // Runs `side` on the second thread while the caller runs `own`, and returns when both are
  // done. What either throws is thrown here, the caller's part first.
  void Both(const std::function<void()>& own, const std::function<void()>& side);
  // Starts `side` on the second thread and returns at once; Wait() ends it. Only one part
  // runs there at a time.
  void Start(std::function<void()> side);
  // Waits for the part started last; throws what it threw.
  void Wait();
  bool Running() const { return thread_.joinable(); }

 private:
  void Loop() noexcept;

  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::function<void()> task_;
  bool has_task_ = false;
  bool busy_ = false;
  bool stop_ = false;
  std::exception_ptr failure_;
};

// Whether a step over `items` items is worth splitting over two threads.
inline bool WorthTwoThreads(size_t items) { return items >= 16384; }

// Runs fn(part, begin, end) over [0, n): parts 0 and 1 are the two halves (the first n / 2
// and the rest), the second on the side thread, when there is a running one; else part 0 is
// all of it.
void InTwoParts(SideThread* side, size_t n,
                const std::function<void(int part, size_t begin, size_t end)>& fn);

}  // namespace kx::engine
