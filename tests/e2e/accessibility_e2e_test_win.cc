// What a screen reader reads of the window: every control has a name, asked through the
// accessibility interface (oleacc) as readers ask it; where the interface does not answer
// for a control, through its window text, which is what the interface reads.
#include <windows.h>
// The accessibility interface needs the base Windows types first.
#include <oleacc.h>
// The progress bar's class name.
#include <commctrl.h>

#include <cstdio>
#include <iterator>
#include <optional>

#include "tests/e2e/app_fixture_win.h"

namespace kx::e2e {

using namespace kx::app;

namespace {

struct Accessible {
  std::optional<std::string> name;
  std::optional<long> role;
};

std::string Narrow(BSTR text) {
  if (!text) return {};
  const int n = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_ACP, 0, text, -1, out.data(), n, nullptr, nullptr);
  return out;
}

Accessible AskOleacc(HWND control) {
  Accessible result;
  IAccessible* object = nullptr;
  if (FAILED(AccessibleObjectFromWindow(control, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                        reinterpret_cast<void**>(&object))) ||
      !object) {
    return result;
  }
  VARIANT self;
  VariantInit(&self);
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  BSTR name = nullptr;
  if (object->get_accName(self, &name) == S_OK && name) result.name = Narrow(name);
  SysFreeString(name);
  VARIANT role;
  VariantInit(&role);
  if (object->get_accRole(self, &role) == S_OK && role.vt == VT_I4) result.role = role.lVal;
  object->Release();
  return result;
}

class AccessibilityTest : public AppTest {
 protected:
  static void SetUpTestSuite() { CoInitialize(nullptr); }
  static void TearDownTestSuite() { CoUninitialize(); }
};

}  // namespace

TEST_F(AccessibilityTest, EveryControlHasANameAScreenReaderReads) {
  ASSERT_NO_FATAL_FAILURE(Launch());
  HWND field = Control(kIdPathFrom);
  HWND browse = FindChild(field, {"BrowseFieldButton", std::nullopt, std::nullopt});
  ASSERT_NE(browse, nullptr);
  struct Case {
    const char* what;
    HWND control;
    std::string name;
    std::optional<long> role;  // checked where the interface answers
    const char* class_name;    // else the class, from which the interface takes the role
  };
  const Case cases[] = {
      {"folder field", field, "Location of files to be re-indexed.", ROLE_SYSTEM_TEXT, "Edit"},
      {"folder button", browse, "Browse for folder", std::nullopt, "BrowseFieldButton"},
      {"Re-Build", Control(kIdBtnProcess), "Re-Build", ROLE_SYSTEM_PUSHBUTTON, "Button"},
      {"Exit", Control(kIdBtnExit), "Exit", ROLE_SYSTEM_PUSHBUTTON, "Button"},
      {"progress bar", Control(kIdProgress), kProgressName, ROLE_SYSTEM_PROGRESSBAR,
       PROGRESS_CLASSA},
  };
  int answered = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Accessible seen = AskOleacc(c.control);
    if (seen.name && !seen.name->empty()) {
      ++answered;
      EXPECT_EQ(*seen.name, c.name);
    } else if (c.control != field) {
      // The interface reads a control's own text as its name.
      EXPECT_EQ(WindowText(c.control), c.name);
    } else {
      // An edit is named by the label just before it in the window order.
      HWND label = GetWindow(field, GW_HWNDPREV);
      EXPECT_EQ(ClassName(label), "Static");
      EXPECT_EQ(WindowText(label), c.name);
    }
    // A proxy that knows no better calls every window a client area (Wine's does so for
    // buttons and progress bars); the class then tells the role.
    if (seen.role && c.role && *seen.role != ROLE_SYSTEM_CLIENT) {
      EXPECT_EQ(*seen.role, *c.role);
    } else {
      EXPECT_STRCASEEQ(ClassName(c.control).c_str(), c.class_name);
    }
  }
  std::printf("oleacc named %d of %zu controls\n", answered, std::size(cases));
  CloseAndWait();
}

}  // namespace kx::e2e
