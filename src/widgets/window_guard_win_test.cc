// The callback guard and the one subclassing mechanism: an exception thrown in a subclass
// procedure, a window procedure, a hook or an enumeration callback reaches the error display
// and the program goes on; a subclass passes on what it does not handle and leaves the chain
// when it is removed or its window is destroyed.
#include "src/widgets/window_guard_win.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "src/common/exception.h"
#include "src/widgets/win_test_support_win.h"

namespace kx::widgets {

namespace {

constexpr UINT kThrowStd = WM_APP + 10;
constexpr UINT kThrowOther = WM_APP + 11;
constexpr UINT kAnswer = WM_APP + 12;

class GuardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetCallbackErrorDisplay([this](const std::exception& error) {
      const auto* own = dynamic_cast<const Exception*>(&error);
      shown_.push_back(own ? own->Message() : error.what());
    });
  }
  void TearDown() override { SetCallbackErrorDisplay(nullptr); }
  std::vector<std::string> shown_;
};

LRESULT ThrowingHandler(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case kThrowStd:
      throw std::runtime_error("handler failed");
    case kThrowOther:
      throw 42;
    case kAnswer:
      return 7;
  }
  return CallNextSubclass(hwnd, msg, wp, lp);
}

TEST_F(GuardTest, ExceptionsOfASubclassReachTheDisplayAndTheWindowGoesOn) {
  widgets_test::HostWindow host(40, 40, 200, 100);
  HWND edit = CreateWindowExW(0, L"EDIT", L"before", WS_CHILD | WS_VISIBLE, 0, 0, 100, 20,
                              host.hwnd(), nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_TRUE(InstallSubclass(edit, 1, ThrowingHandler));
  EXPECT_EQ(SendMessageW(edit, kThrowStd, 0, 0), 0);
  EXPECT_EQ(SendMessageW(edit, kThrowOther, 0, 0), 0);
  ASSERT_EQ(shown_.size(), 2u);
  EXPECT_EQ(shown_[0], "handler failed");
  EXPECT_EQ(shown_[1], "An unexpected error occurred");
  // The window still works, through the handler and past it to the edit's own procedure.
  EXPECT_EQ(SendMessageW(edit, kAnswer, 0, 0), 7);
  SetWindowTextW(edit, L"after");
  EXPECT_EQ(widgets_test::WindowTextA(edit), "after");
  // Removed, the handler answers no more.
  RemoveSubclass(edit, 1);
  EXPECT_EQ(SendMessageW(edit, kAnswer, 0, 0), 0);
  EXPECT_EQ(SendMessageW(edit, kThrowStd, 0, 0), 0);
  EXPECT_EQ(shown_.size(), 2u);
  DestroyWindow(edit);
}

TEST_F(GuardTest, SubclassHearsTheWindowsLastMessageAndLeavesTheChain) {
  widgets_test::HostWindow host(40, 40, 200, 100);
  HWND edit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE, 0, 0, 100, 20, host.hwnd(),
                              nullptr, GetModuleHandleW(nullptr), nullptr);
  bool last_heard = false;
  ASSERT_TRUE(InstallSubclass(edit, 1, [&](HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCDESTROY) last_heard = true;
    return CallNextSubclass(hwnd, msg, wp, lp);
  }));
  EXPECT_TRUE(DestroyWindow(edit));
  EXPECT_TRUE(last_heard);
}

LRESULT CALLBACK ThrowingWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  return GuardCallback<LRESULT>(-1, [&]() -> LRESULT {
    if (msg == kThrowStd) throw Exception("window procedure failed");
    return DefWindowProcW(hwnd, msg, wp, lp);
  });
}

HHOOK g_hook = nullptr;
LRESULT CALLBACK ThrowingHook(int code, WPARAM wp, LPARAM lp) {
  GuardCallback(0, [&]() -> int {
    if (code == HC_ACTION) throw Exception("hook failed");
    return 0;
  });
  return CallNextHookEx(g_hook, code, wp, lp);
}

BOOL CALLBACK CountingThrower(HWND, LPARAM count) {
  return GuardCallback<BOOL>(FALSE, [count]() -> BOOL {
    ++*reinterpret_cast<int*>(count);
    throw std::runtime_error("enumeration failed");
  });
}

TEST_F(GuardTest, WindowProceduresHooksAndEnumerationsAreGuardedAlike) {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = ThrowingWindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"GuardTestWindow";
  RegisterClassW(&wc);
  HWND window = CreateWindowExW(0, L"GuardTestWindow", L"", WS_OVERLAPPED, 0, 0, 50, 50, nullptr,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(SendMessageW(window, kThrowStd, 0, 0), -1);  // the fallback answer

  g_hook = SetWindowsHookExW(WH_GETMESSAGE, ThrowingHook, nullptr, GetCurrentThreadId());
  ASSERT_NE(g_hook, nullptr);
  PostMessageW(window, WM_NULL, 0, 0);
  widgets_test::PumpMessages();
  UnhookWindowsHookEx(g_hook);

  int visited = 0;
  EnumThreadWindows(GetCurrentThreadId(), CountingThrower, reinterpret_cast<LPARAM>(&visited));
  EXPECT_EQ(visited, 1);  // the fallback FALSE ends the enumeration
  DestroyWindow(window);

  ASSERT_GE(shown_.size(), 3u);
  EXPECT_EQ(shown_.front(), "window procedure failed");
  EXPECT_EQ(shown_.back(), "enumeration failed");
  EXPECT_NE(std::find(shown_.begin(), shown_.end(), "hook failed"), shown_.end());
}

TEST_F(GuardTest, AFailingDisplayIsSwallowed) {
  SetCallbackErrorDisplay([](const std::exception&) { throw std::runtime_error("box failed"); });
  EXPECT_EQ(GuardCallback(5, []() -> int { throw std::runtime_error("x"); }), 5);
}

}  // namespace

}  // namespace kx::widgets
