// The engine tests' main: the same program also plays the second process of the lock
// tests when started with "--hold-table".
#include <gtest/gtest.h>

#include "engine/test_util.h"

int main(int argc, char** argv) {
  int role = kx::engine::testing::RunChildRole(argc, argv);
  if (role >= 0) return role;
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
