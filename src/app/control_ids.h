// Control and menu command identifiers of the main window, and its fixed texts that outside
// tools (the end-to-end driver) look for. Portable: no windows.h.
#pragma once

namespace kx::app {

inline constexpr char kApplicationTitle[] = "Kestovar Index Files Re-Build Program";
inline constexpr char kWindowCaption[] = "Kestovar Index File Re-Build";
inline constexpr char kWindowClass[] = "Tfmrebld";
// The hidden application window that owns the main window and the error box; its caption is
// the application title, which is what the taskbar shows.
inline constexpr char kApplicationClass[] = "TKestovarApplication";

inline constexpr int kOuterWidth = 528;
inline constexpr int kOuterHeight = 383;

// The name screen readers give the progress bar.
inline constexpr char kProgressName[] = "Re-Build progress";

// Child controls.
inline constexpr int kIdLabel1 = 101;
inline constexpr int kIdLabel4 = 102;
inline constexpr int kIdLabel2 = 103;
inline constexpr int kIdPathFrom = 104;
inline constexpr int kIdLblError = 105;
inline constexpr int kIdBtnProcess = 106;
inline constexpr int kIdBtnExit = 107;
inline constexpr int kIdProgress = 108;
inline constexpr int kIdLblProgress = 109;

// Menu commands.
inline constexpr int kCmdRebuildIndexes = 201;  // File > Re-Build Indexes
inline constexpr int kCmdExit = 202;            // File > Exit
inline constexpr int kCmdHelp = 203;            // Help > Help
inline constexpr int kCmdAbout = 204;           // Help > About...

}  // namespace kx::app
