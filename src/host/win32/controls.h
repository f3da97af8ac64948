// The child controls of a form, made of standard Windows controls where
// there is one (so that accessibility tools and tests see real buttons and
// labels) and of our own image window otherwise.
#pragma once

#include "host/win32/windows_api.h"

#include "host/os.h"
#include "host/win32/form_window.h"

namespace host::win32 {

// The control, registered with its form; null on failure.
HWND CreateControlWindow(Events& events, FormWindow& form, const ControlSpec& desc);

}  // namespace host::win32
