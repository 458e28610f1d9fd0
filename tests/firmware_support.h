// A simulated drive of a chosen model, an upgrade state over it and image files in a
// temporary folder: what the validation and download tests share.
#pragma once

#include <filesystem>

#include "firmware/download_procedures.h"
#include "firmware/upgrade_file_validation.h"
#include "firmware/upgrade_outcome.h"
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
    std::string pattern = std::filesystem::temp_directory_path() / "drivewright-test-XXXXXX";
    std::filesystem::path path = ::mkdtemp(pattern.data());
    std::error_code ignored;
    ~TempFolder() { std::filesystem::remove_all(path, ignored); }
    std::string file(const std::string& name) const { return (path / name).string(); }
};

// Points `state` at `device` behind `transport`, its identity as discovery filed it (from the
// port's inquiry data under pass-through), and at the upgrade file `path`.
inline void aimUpgrade(dw::UpgradeState& state, dw::ScsiTransport& transport,
                       const dw::DeviceEntry& device, const std::string& path) {
    state.transport = &transport;
    state.currentDevice = device;
    dw::InquiryStrings identity;
    transport.inquiry(state.currentDevice, identity);
    dw::copyIdentification(identity, state.currentDevice);
    std::snprintf(state.upgradeFilePath, sizeof state.upgradeFilePath, "%s", path.c_str());
}

// A drive reporting `product` and `revision` at E: on a port of the bus kind given, its record
// as discovery filed it, and the upgrade file, new.bin, that state.upgradeFilePath names.
struct FirmwareBench {
    PassThroughPc pc;
    sim::KorvaneDrive* drive = nullptr;
    dw::UpgradeState state;
    RecordingUpgradeDialog dialog;
    TempFolder folder;
    std::string path = folder.file("new.bin"), error;

    explicit FirmwareBench(const std::string& product, const char* revision = "1.00",
                           dw::BusKind bus = dw::BusKind::Atapi) {
        pc.addAdapter(0).busKind = bus;
        drive = &pc.machine.addDrive(product, revision);
        pc.machine.attach(*drive, 0, 0, 1, 0, 4);
        pc.machine.setDriveType(4, dw::DriveTypes::kCdrom);
        dw::DeviceEntry device = PassThroughPc::entry(0, 0, 1, 0, 4);
        device.busKind = bus;
        aimUpgrade(state, pc.transport, device, path);
    }

    void write(const std::vector<uint8_t>& b) { ASSERT_TRUE(dw::tools::writeFile(path, b, error)); }
    bool validate() { return dw::ValidateUpgradeFile(state, dialog); }
    bool upgrade() { return dw::RunUpgrade(state, dialog, pc.machine); }
    std::string outcome(bool ok) { return dw::UpgradeOutcomeText(ok, state, pc.machine); }
};

}  // namespace testing_support
