// Notification reflection. Standard controls tell their parent about clicks and
// owner drawing (WM_COMMAND, WM_DRAWITEM, WM_MEASUREITEM, WM_CTLCOLOR*). Every
// container of this program (the main window, the pages, the group box) hands such
// a notification back to the control it concerns as kReflectBase + the message,
// with the same parameters, so each control handles its own notifications.
#pragma once

#include <windows.h>

namespace qm::win {

constexpr UINT kReflectBase = 0x2000;  // the range of OCM_* messages

// Forwards a notification to the control it concerns. Returns true and sets
// *result when msg was such a notification from a child control that answered.
bool ReflectNotification(HWND parent, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result);

// Subclasses an existing container window (for example a group box) so that it
// reflects notifications to its children.
void InstallReflector(HWND container);

}  // namespace qm::win
