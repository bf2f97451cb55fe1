#include "src/app/engine_thread.h"

#include <future>
#include <utility>

namespace kx::app {

EngineThread::EngineThread() : thread_([this] { Loop(); }) {}

EngineThread::~EngineThread() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

void EngineThread::Post(Task task) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  wake_.notify_one();
}

void EngineThread::Call(const Task& task) {
  if (std::this_thread::get_id() == Id()) {
    task();  // already on the engine thread: waiting for itself would never end
    return;
  }
  std::promise<void> done;
  Post([&task, &done] {
    try {
      task();
      done.set_value();
    } catch (...) {
      done.set_exception(std::current_exception());
    }
  });
  done.get_future().get();
}

void EngineThread::Loop() {
  for (;;) {
    Task task;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
      if (tasks_.empty()) return;  // stopping, and nothing left to run
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
  }
}

}  // namespace kx::app
