// Where Windows looks for the libraries that the program, and Windows on its behalf, load while
// it runs. The program runs with administrator rights and is often started from a downloads
// folder, where a library named like a system one may lie beside it.
#pragma once

#include <string>

#include "platform/windows_api.h"

namespace dw {

// What RestrictLibrarySearch made of the search.
enum class LibrarySearch {
    Unchanged,             // Windows 95, 98 and Me; NT 4.0, 2000, XP before SP1
    CurrentFolderLeftOut,  // XP SP1 to 7 without the update: the program's folder stays first
    SystemFolderOnly,      // Windows 8 to 11, and Vista and 7 with the update
};

// Narrows the process's library search to the system folder where Windows can, else takes the
// current folder out of it. Only on the NT platform: Windows 95, 98 and Me find the ASPI layer
// in the program's folder among others (and Wine exports SetDefaultDllDirectories even when it
// reports Windows 98).
LibrarySearch RestrictLibrarySearch(WindowsApi& api);

// The full path of the file `name` in the program's own folder; empty when the program's path
// is not known.
std::string FileBesideProgram(Libraries& libraries, const std::string& name);

}  // namespace dw
