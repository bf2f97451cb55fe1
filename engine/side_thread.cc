#include "engine/side_thread.h"

#include <system_error>
#include <utility>

namespace kx::engine {

SideThread::SideThread(bool start) {
  if (!start) return;
  try {
    thread_ = std::thread([this] { Loop(); });
  } catch (const std::system_error&) {
    // No thread to be had: everything runs on the caller, only slower.
  }
}

SideThread::~SideThread() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void SideThread::Loop() noexcept {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return has_task_ || stop_; });
    if (!has_task_) return;
    std::function<void()> task = std::move(task_);
    has_task_ = false;
    lock.unlock();
    std::exception_ptr failure;
    try {
      task();
    } catch (...) {
      failure = std::current_exception();
    }
    lock.lock();
    failure_ = failure;
    busy_ = false;
    changed_.notify_all();
  }
}

void SideThread::Start(std::function<void()> side) {
  if (!thread_.joinable()) {
    // Run at once; what it throws waits for Wait(), as it would on the thread.
    try {
      side();
    } catch (...) {
      failure_ = std::current_exception();
    }
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    task_ = std::move(side);
    has_task_ = true;
    busy_ = true;
  }
  changed_.notify_all();
}

void SideThread::Wait() {
  std::exception_ptr failure;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !busy_; });
    failure = std::exchange(failure_, nullptr);
  }
  if (failure) std::rethrow_exception(failure);
}

void SideThread::Both(const std::function<void()>& own, const std::function<void()>& side) {
  Start(side);
  try {
    own();
  } catch (...) {
    try {
      Wait();
    } catch (...) {
    }
    throw;
  }
  Wait();
}

void InTwoParts(SideThread* side, size_t n,
                const std::function<void(int part, size_t begin, size_t end)>& fn) {
  if (side == nullptr || !side->Running() || n < 2) {
    fn(0, 0, n);
    return;
  }
  const size_t half = n / 2;
  side->Both([&] { fn(0, 0, half); }, [&] { fn(1, half, n); });
}

}  // namespace kx::engine
