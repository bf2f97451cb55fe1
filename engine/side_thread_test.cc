#include "engine/side_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

namespace kx::engine {
namespace {

TEST(SideThreadTest, BothPartsRunAndTheSideOneOnAnotherThread) {
  for (bool start : {true, false}) {
    SideThread side(start);
    std::thread::id own_id, side_id;
    int runs = 0;
    for (int i = 0; i < 100; ++i) {
      side.Both([&] { own_id = std::this_thread::get_id(); },
                [&] {
                  side_id = std::this_thread::get_id();
                  ++runs;
                });
    }
    EXPECT_EQ(runs, 100);
    EXPECT_EQ(own_id, std::this_thread::get_id());
    EXPECT_EQ(side_id != own_id, start) << "start " << start;
  }
}

TEST(SideThreadTest, WhatEitherPartThrowsReachesTheCallerAndTheThreadGoesOn) {
  for (bool start : {true, false}) {
    SideThread side(start);
    EXPECT_THROW(side.Both([] {}, [] { throw std::runtime_error("side"); }), std::runtime_error);
    std::atomic<bool> side_ran{false};
    try {
      side.Both([] { throw std::logic_error("own"); }, [&] { side_ran = true; });
      ADD_FAILURE() << "nothing thrown";
    } catch (const std::logic_error&) {
    }
    // The caller's failure returned only once the side part had ended.
    EXPECT_TRUE(side_ran);
    int after = 0;
    side.Both([&] { ++after; }, [&] { ++after; });
    EXPECT_EQ(after, 2);
  }
}

TEST(SideThreadTest, StartedWorkOverlapsTheCallersUntilWait) {
  SideThread side;
  std::atomic<int> stage{0};
  side.Start([&] {
    while (stage.load() == 0) std::this_thread::yield();  // waits for the caller
    stage = 2;
  });
  stage = 1;
  side.Wait();
  EXPECT_EQ(stage.load(), 2);
}

}  // namespace
}  // namespace kx::engine
