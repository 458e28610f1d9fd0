#include "app/aspi_warning_dialog.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/dialog_view.h"
#include "app/library_search.h"

namespace dw {

unsigned aspiWarningTimerId = 0;

bool OldAspiLayerInstalled(WindowsApi& api) {
    std::string file = "wnaspi32.dll";
    uint32_t size = api.getFileVersionInfoSize(file);
    if (size == 0) {
        // Where the library search no longer looks in the program's folder, the layer beside
        // the program is read by its full path (as data, never loaded).
        file = FileBesideProgram(api, file);
        if (file.empty()) return false;
        size = api.getFileVersionInfoSize(file);
    }
    if (size == 0) return false;
    std::vector<uint8_t> block(size);
    if (!api.getFileVersionInfo(file, block)) return false;

    std::string versionText = "n/a";
    std::vector<uint8_t> translation;
    if (api.verQueryValue(block, "\\VarFileInfo\\Translation", translation) &&
        translation.size() >= 4) {
        const uint32_t entry = uint32_t(translation[0]) | uint32_t(translation[1]) << 8 |
                               uint32_t(translation[2]) << 16 | uint32_t(translation[3]) << 24;
        // Language into the high half, code page into the low half.
        const uint32_t swapped = (entry << 16) | (entry >> 16);
        char path[64];
        std::snprintf(path, sizeof path, "\\StringFileInfo\\%08lx\\%s",
                      static_cast<unsigned long>(swapped), "FileVersion");
        std::vector<uint8_t> value;
        if (api.verQueryValue(block, path, value)) {
            const auto end = std::find(value.begin(), value.end(), uint8_t(0));
            versionText.assign(reinterpret_cast<const char*>(value.data()),
                               static_cast<size_t>(end - value.begin()));
        }
    }
    // "1, 0, 0, 0": only these four positions are looked at.
    return versionText.size() > 9 && versionText[0] == '1' && versionText[3] == '0' &&
           versionText[6] == '0' && versionText[9] == '0';
}

bool AspiWarningDialog::OnInitDialog() {
    view_.setExclamationIcon();
    return true;
}

void AspiWarningDialog::OnShowWindow(bool shown) {
    if (!shown) return;
    view_.centre();
    aspiWarningTimerId = view_.startTimer(kCloseAfterMs);
}

void AspiWarningDialog::OnTimer(unsigned) {
    view_.stopTimer(aspiWarningTimerId);
    view_.end(kIdOk);
}

void AspiWarningDialog::OnCommand(int id) {
    if (id == kIdOk || id == kIdExit) view_.end(id);
}

}  // namespace dw
