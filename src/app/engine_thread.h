// The one thread that makes every client-engine call of the program. An engine may keep its
// last error per thread, so the call that failed and the read-back of its error must share a
// thread; and the window's thread must stay free to process messages during a long run.
// Portable: no windows.h.
#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace kx::app {

class EngineThread {
 public:
  using Task = std::function<void()>;

  EngineThread();
  // Runs the tasks still queued, then ends the thread.
  ~EngineThread();
  EngineThread(const EngineThread&) = delete;
  EngineThread& operator=(const EngineThread&) = delete;

  // Queues `task`; tasks run one at a time in the order they were posted. A task must not
  // let an exception out: catch it inside and hand it to whoever needs it.
  void Post(Task task);
  // Runs `task` on the engine thread and waits for it; its exception is rethrown here.
  void Call(const Task& task);
  std::thread::id Id() const { return thread_.get_id(); }

 private:
  void Loop();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Task> tasks_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace kx::app
