// The process's library search, narrowed before the program shows any window.
#include "app/library_search.h"

namespace dw {

LibrarySearch RestrictLibrarySearch(WindowsApi& api) {
    OsVersionInfo version;
    if (!api.getVersionEx(Versions::kBasicRecordSize, version) ||
        version.platformId != Versions::kPlatformNt) {
        return LibrarySearch::Unchanged;
    }
    // Applies to every later load, the dependencies of libraries loaded by full path included.
    if (api.setDefaultDllDirectories(Libraries::kSearchSystem32) == Libraries::Call::Done) {
        return LibrarySearch::SystemFolderOnly;
    }
    // An empty folder takes the current folder out of the search.
    if (api.setDllDirectory("") == Libraries::Call::Done) {
        return LibrarySearch::CurrentFolderLeftOut;
    }
    return LibrarySearch::Unchanged;
}

std::string FileBesideProgram(Libraries& libraries, const std::string& name) {
    const std::string program = libraries.moduleFileName();
    const size_t folderEnd = program.find_last_of('\\');
    if (folderEnd == std::string::npos) return {};
    return program.substr(0, folderEnd + 1) + name;
}

}  // namespace dw
