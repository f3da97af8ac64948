// <windows.h> for the backend. Its MessageBox macro would rename
// host::Os::MessageBox in the files that see it and not in the others, so
// it goes; the code calls MessageBoxW by name.
#pragma once

#include <windows.h>

#undef MessageBox
