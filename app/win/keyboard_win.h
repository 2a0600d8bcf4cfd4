// Keyboard handling of the main window's containers and its log pane, so that the
// dialog manager (IsDialogMessage) moves the focus through every page and no key in
// any control can close a part of the window.
#pragma once

#include <windows.h>

namespace qm::win {

// True for a request that would destroy a child container (a page, the group box):
// such containers only go with the main window. A multi-line edit inside a dialog
// posts WM_CLOSE to its parent on Escape; the default handling would destroy the
// container and every control on it.
bool IsContainerCloseRequest(UINT msg);

// Subclasses a container of another class (the group box) so that it ignores close
// requests.
void KeepContainerOpen(HWND container);

// Subclasses a multi-line edit (the log pane) so that it leaves Tab, Escape and Enter
// to the dialog manager: a multi-line edit asks for every key, which would keep the
// focus in it on Tab.
void LeaveNavigationKeysToDialog(HWND edit);

// The first control in tab order inside `container` (descending into containers that
// hold controls of their own) that is visible, enabled and a tab stop; null if none.
HWND FirstTabStop(HWND container);

// After a handler has run: when it disabled the control that had the focus, the system
// leaves the focus nowhere (or on the disabled control); move it on to the next control
// in tab order after `before`, as Tab would. Does nothing while `root` is not active.
void MoveFocusOffDisabledControl(HWND root, HWND before);

}  // namespace qm::win
