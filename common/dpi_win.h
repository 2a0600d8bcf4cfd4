// The screen density of windows, and frame arithmetic at a density, on every Windows the
// program runs on. The per-window functions arrived with Windows 10 (1607); they are
// looked up at run time, and on older systems (and Wine versions without them) the
// density of the screen's device context stands in, which is the system's density.
#pragma once

#include <windows.h>

namespace qm::win {

#ifndef WM_DPICHANGED
inline constexpr UINT WM_DPICHANGED = 0x02E0;
#endif

// The density a window is drawn at: 96 for a window of a program the system scales.
int WindowDpi(HWND window);

// The system's density (that of the primary screen when the program started).
int SystemDpi();

// The window rectangle around a client rectangle, with the frame measured at `dpi`.
void AdjustWindowRectForDpi(RECT& rect, DWORD style, DWORD exStyle, int dpi);

}  // namespace qm::win
