// A simulated drive of a chosen model, an upgrade state over it and image files in a
// temporary folder: what the validation and download tests share.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "firmware/upgrade_dialog.h"
#include "firmware/upgrade_state.h"
#include "identify/identify_model.h"
#include "image_writer.h"
#include "reference_images.h"
#include "test_support.h"

namespace testing_support {

struct RecordingUpgradeDialog : dw::UpgradeDialog {
    std::string status;
    std::vector<std::string> warnings;
    int refreshes = 0;
    void setStatusText(const std::string& text) override { status = text; }
    void refresh() override { ++refreshes; }
    void showWarning(const std::string& text) override { warnings.push_back(text); }
};

// A folder of its own for each test, removed afterwards.
struct TempFolder {
    std::filesystem::path path;
    TempFolder() {
        static int counter = 0;
        path = std::filesystem::temp_directory_path() /
               ("drivewright-test-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
        std::filesystem::create_directories(path);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::string file(const std::string& name) const { return (path / name).string(); }
};

struct FirmwareBench {
    PassThroughPc pc;
    sim::KorvaneDrive* drive = nullptr;
    dw::UpgradeState state;
    RecordingUpgradeDialog dialog;
    TempFolder folder;

    // A drive that identifies as `row` (its product id on the bus kind given).
    explicit FirmwareBench(const std::string& product, const std::string& revision = "1.00",
                           dw::BusKind busKind = dw::BusKind::Atapi) {
        dw::HostAdapter& adapter = pc.addAdapter(0);
        adapter.busKind = busKind;
        drive = &pc.machine.addDrive(product, revision);
        drive->mediumLoaded = false;
        pc.machine.attach(*drive, 0, 0, 1, 0, 4);
        state.transport = &pc.transport;
        state.currentDevice = PassThroughPc::entry(0, 0, 1, 0, 4);
        state.currentDevice.busKind = busKind;
        // The identification texts as discovery stored them.
        std::snprintf(state.currentDevice.vendor, sizeof state.currentDevice.vendor, "%s",
                      drive->vendor().c_str());
        std::snprintf(state.currentDevice.product, sizeof state.currentDevice.product, "%s",
                      drive->product().c_str());
        std::snprintf(state.currentDevice.revision, sizeof state.currentDevice.revision, "%s",
                      drive->revision().c_str());
    }

    std::string rowName() { return dw::ModelProductId(pc.transport, state.currentDevice); }

    // Writes an image built from the documented format and names it as the upgrade file.
    std::string writeImage(const ReferenceImage& wanted, const std::string& name = "fw.bin") {
        return writeBytes(referenceImage(wanted), name);
    }

    std::string writeBytes(const std::vector<uint8_t>& bytes, const std::string& name = "fw.bin") {
        const std::string path = folder.file(name);
        std::string error;
        EXPECT_TRUE(dw::tools::writeFile(path, bytes, error)) << error;
        choose(path);
        return path;
    }

    void choose(const std::string& path) {
        std::snprintf(state.upgradeFilePath, sizeof state.upgradeFilePath, "%s", path.c_str());
    }
};

inline std::vector<uint8_t> readAll(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    std::vector<uint8_t> bytes;
    if (f == nullptr) return bytes;
    uint8_t piece[4096];
    size_t n;
    while ((n = std::fread(piece, 1, sizeof piece, f)) > 0)
        bytes.insert(bytes.end(), piece, piece + n);
    std::fclose(f);
    return bytes;
}

}  // namespace testing_support
