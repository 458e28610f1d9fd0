// The program's start, up to its first window.
#pragma once

#include <functional>

#include "platform/windows_api.h"

namespace dw {

// Narrows the library search (RestrictLibrarySearch), then runs `runMainDialog`: every window
// of the program, and every library Windows loads for one, comes after.
void StartProgram(WindowsApi& api, const std::function<void()>& runMainDialog);

}  // namespace dw
