// What the controls tell screen readers through Microsoft Active
// Accessibility. Each control's window answers WM_GETOBJECT with the
// system's own object for it (the one a standard control of its class gets),
// with the name, role and value of the control (TControl::AccessibleName,
// AccessibleRole, AccessibleValue) put in place of the system's: pictures,
// labels and panels the system knows nothing of, an edit box named by its
// group box, a progress bar's percentage. Everything else (state, place,
// children, the default action) is the system's answer.
#pragma once

#include <windows.h>

// The answer to WM_GETOBJECT for a window of a control of this layer; 0 when
// the client object is not what is asked for, or the system cannot make one
// (the window procedure then goes on as it would without it).
LRESULT AnswerGetObject(HWND hwnd, WPARAM wp, LPARAM lp);
