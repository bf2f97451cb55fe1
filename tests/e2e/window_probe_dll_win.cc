// The probe's DLL: a WH_GETMESSAGE hook that runs the commands of window_probe_win.h inside
// the program's process.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/e2e/window_probe_win.h"

namespace {

std::vector<HGDIOBJ> g_taken;
// After an exhaustion: the next paint goes through short of objects, and the objects come
// back at the message after it, before the program handles that message.
enum class Shortage { kNone, kUntilPaint, kAfterPaint } g_shortage = Shortage::kNone;

void Release() {
  for (HGDIOBJ object : g_taken) DeleteObject(object);
  g_taken.clear();
}

void Answer(const std::string& text) {
  const std::string path = kx::e2e::ProbeAnswerPath();
  const std::string partial = path + ".part";
  if (FILE* file = std::fopen(partial.c_str(), "wb")) {
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
    MoveFileExA(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
  }
}

void DescribeMenu(HMENU menu, const std::string& indent, std::string& out) {
  const int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    char text[64] = {};
    MENUITEMINFOA info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING | MIIM_SUBMENU;
    info.dwTypeData = text;
    info.cch = sizeof(text);
    if (!GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &info)) continue;
    if (info.fType & MFT_SEPARATOR) {
      out.append(indent).append("-\n");
      continue;
    }
    out.append(indent).append(text);
    if (!info.hSubMenu) out.append(" ").append(std::to_string(info.wID));
    out.append("\n");
    if (info.hSubMenu) DescribeMenu(info.hSubMenu, indent + "  ", out);
  }
}

void Run(HWND window, WPARAM command) {
  switch (command) {
    case kx::e2e::kProbeReadMenu: {
      std::string out;
      if (HMENU menu = GetMenu(window)) DescribeMenu(menu, "", out);
      Answer(out);
      break;
    }
    case kx::e2e::kProbeExhaustGdi:
      // Everything but one object: a drawing surface can still be had, an image no more.
      while (HGDIOBJ object = CreateBitmap(1, 1, 1, 1, nullptr)) g_taken.push_back(object);
      if (!g_taken.empty()) {
        DeleteObject(g_taken.back());
        g_taken.pop_back();
      }
      g_shortage = Shortage::kUntilPaint;
      Answer(std::to_string(g_taken.size()));
      break;
  }
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK KxProbeHook(int code, WPARAM wp, LPARAM lp) {
  static const UINT message = RegisterWindowMessageA(kx::e2e::kProbeMessageName);
  if (code == HC_ACTION && wp == PM_REMOVE) {
    MSG* msg = reinterpret_cast<MSG*>(lp);
    if (g_shortage == Shortage::kAfterPaint) {
      Release();
      g_shortage = Shortage::kNone;
    } else if (g_shortage == Shortage::kUntilPaint && msg->message == WM_PAINT) {
      g_shortage = Shortage::kAfterPaint;
    }
    if (msg->message == message) {
      Run(msg->hwnd, msg->wParam);
      msg->message = WM_NULL;
    }
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}
