// The program's start, up to its first window.
#include "app/program_start.h"

#include "app/library_search.h"

namespace dw {

void StartProgram(WindowsApi& api, const std::function<void()>& runMainDialog) {
    RestrictLibrarySearch(api);
    runMainDialog();
}

}  // namespace dw
