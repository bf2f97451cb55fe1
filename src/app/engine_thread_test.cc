// The engine thread and the queued view: what a run on the engine thread changes reaches the
// window's view in order, and its failure after every change made before it.
#include "src/app/engine_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <stdexcept>
#include <thread>

#include "src/app/queued_view.h"
#include "src/rebuild/recording_view.h"

namespace kx::app {
namespace {

TEST(EngineThreadTest, TasksRunInOrderOnOneThreadOtherThanTheCaller) {
  std::vector<int> order;
  std::set<std::thread::id> threads;
  {
    EngineThread engine;
    for (int i = 0; i < 50; ++i) {
      engine.Post([&, i] {
        order.push_back(i);
        threads.insert(std::this_thread::get_id());
      });
    }
    // The destructor runs what is still queued before the thread ends.
  }
  ASSERT_EQ(order.size(), 50u);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(order[i], i);
  ASSERT_EQ(threads.size(), 1u);
  EXPECT_NE(*threads.begin(), std::this_thread::get_id());
}

TEST(EngineThreadTest, CallWaitsForTheTaskAndRethrowsItsFailure) {
  EngineThread engine;
  std::atomic<bool> ran{false};
  std::thread::id seen;
  engine.Call([&] {
    seen = std::this_thread::get_id();
    ran = true;
  });
  EXPECT_TRUE(ran);
  EXPECT_EQ(seen, engine.Id());
  EXPECT_THROW(engine.Call([] { throw std::runtime_error("disconnect failed"); }),
               std::runtime_error);
  // A call made from the engine thread itself runs at once instead of waiting for itself.
  bool nested = false;
  engine.Call([&] { engine.Call([&] { nested = true; }); });
  EXPECT_TRUE(nested);
}

// What a run does to its view, in the order a failing run does it.
void DriveView(rebuild::RebuildView& view) {
  view.SetErrorVisible(false);
  view.SetFolderPath("C:\\data");
  view.SetExitEnabled(false);
  view.SetProgressVisible(true);
  for (int position : {1, 15, 20}) view.SetProgressPosition(position);
  view.SetStatusText("   Processing Request");
  view.SetStatusVisible(true);
  throw std::runtime_error("abar.adt could not be opened");
}

TEST(QueuedViewTest, ChangesMadeOnTheEngineThreadArriveInOrderThenTheFailure) {
  std::atomic<int> notified{0};
  QueuedView queued("", [&] { ++notified; });
  {
    EngineThread engine;
    engine.Post([&] {
      try {
        DriveView(queued);
      } catch (...) {
        queued.Finish(std::current_exception());
      }
    });
  }
  // The copy of the path follows the run's own change without waiting for the window.
  EXPECT_EQ(queued.FolderPath(), "C:\\data");
  EXPECT_EQ(notified, 10);  // nine changes and the end

  rebuild::RecordingView direct, applied;
  EXPECT_THROW(DriveView(direct), std::runtime_error);
  std::exception_ptr failure;
  ASSERT_TRUE(queued.ApplyPending(applied, failure));
  ASSERT_TRUE(failure);
  EXPECT_THROW(std::rethrow_exception(failure), std::runtime_error);
  EXPECT_EQ(applied.log, direct.log);
  EXPECT_EQ(applied.positions, (std::vector<int>{1, 15, 20}));
  EXPECT_EQ(applied.status_text, direct.status_text);
  EXPECT_TRUE(applied.progress_visible);
  EXPECT_FALSE(applied.exit_enabled);
}

TEST(QueuedViewTest, NothingEndsBeforeTheRunHasFinished) {
  QueuedView queued("C:\\data", [] {});
  rebuild::RecordingView view;
  std::exception_ptr failure;
  queued.SetProgressPosition(1);
  EXPECT_FALSE(queued.ApplyPending(view, failure));
  EXPECT_EQ(view.positions, (std::vector<int>{1}));
  queued.SetProgressPosition(100);
  queued.Finish(nullptr);
  EXPECT_TRUE(queued.ApplyPending(view, failure));
  EXPECT_FALSE(failure);
  EXPECT_EQ(view.positions, (std::vector<int>{1, 100}));
}

}  // namespace
}  // namespace kx::app
