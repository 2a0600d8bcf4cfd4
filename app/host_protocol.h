// The numbers of the host protocol, shared by the program, the simulated host and the
// probe: the imaging host's commands arrive in the registered focuser message with the
// command code as its first parameter (wParam) and a value as its second (lParam); the
// program posts the end-of-run report back the same way. docs/host-protocol.md shows
// them to host developers under these names.
#pragma once

#include <cstdint>

namespace qm::host {

// Host to program.
inline constexpr uint32_t kFocusValue = 0;  // value: the focus value of one exposure, signed
inline constexpr uint32_t kMinimise = 1;    // with kMinimiseValue: minimise the main window
inline constexpr int32_t kMinimiseValue = 0;
inline constexpr uint32_t kStartRun = 2;  // with kStartRunValue: start an autofocus run
inline constexpr int32_t kStartRunValue = 22;
inline constexpr uint32_t kHostWindow = 3;  // value: the window that gets the report; 0 forgets it
inline constexpr uint32_t kMoveTo = 5;      // value: an absolute position, in steps
inline constexpr uint32_t kMoveBy = 6;      // value: a signed offset from the present position

// Program to host: a run has ended and its final move is over.
inline constexpr uint32_t kRunReport = 4;
inline constexpr int32_t kRunReportValue = 44;

}  // namespace qm::host
