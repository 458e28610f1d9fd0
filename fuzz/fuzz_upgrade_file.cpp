// The validation of upgrade files, for a drive of each row that takes them. The input chooses
// the row and either is the whole file (any contents, any length) or patches a valid image of
// one of the row's sizes (so that every size and checksum rule is reached). A file that is
// accepted has a size the row allows, and the digest kept of it is the file's.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "firmware/firmware_image.h"
#include "firmware/upgrade_dialog.h"
#include "firmware/upgrade_file_validation.h"
#include "firmware/upgrade_state.h"
#include "fuzz_support.h"
#include "identify/model_table.h"
#include "image_writer.h"

namespace {

struct QuietDialog : dw::UpgradeDialog {
    std::string status;
    void setStatusText(const std::string& text) override { status = text; }
    void refresh() override {}
    void showWarning(const std::string&) override {}
};

std::vector<const dw::ModelFamily*> upgradableRows() {
    std::vector<const dw::ModelFamily*> rows;
    for (const auto& row : dw::ModelTable) {
        if (!dw::imageSizesFor(row).empty()) rows.push_back(&row);
    }
    return rows;
}

// Valid images are made once per row and size; the patches then change them.
const std::vector<uint8_t>& validImage(const dw::ModelFamily& row, uint32_t size) {
    static std::map<std::pair<const dw::ModelFamily*, uint32_t>, std::vector<uint8_t>> images;
    auto& image = images[{&row, size}];
    if (image.empty()) {
        dw::tools::ImageRequest wanted;
        wanted.row = &row;
        wanted.size = size;
        std::string error;
        image = dw::tools::makeUpgradeImage(wanted, error);
        FUZZ_REQUIRE(!image.empty());
    }
    return image;
}

// In memory where the system has a memory file system.
const std::string& filePath() {
    static const std::string path =
        std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/drivewright-fuzz-" +
        std::to_string(::getpid()) + ".bin";
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const auto rows = upgradableRows();
    FuzzedDataProvider in(data, size);
    const dw::ModelFamily& row = *rows[in.ConsumeIntegralInRange<size_t>(0, rows.size() - 1)];
    const auto sizes = dw::imageSizesFor(row);
    const bool whole = in.ConsumeBool();

    std::vector<uint8_t> file;
    if (whole) {
        file = in.ConsumeRemainingBytes<uint8_t>();
    } else {
        file = validImage(row, sizes[in.ConsumeIntegralInRange<size_t>(0, sizes.size() - 1)]);
        // Patches: an offset, a length and the bytes; a last one may cut or lengthen the file.
        while (in.remaining_bytes() > 4) {
            const uint32_t at = in.ConsumeIntegralInRange<uint32_t>(0, uint32_t(file.size()) + 16);
            if (in.ConsumeBool() && in.ConsumeBool() && in.ConsumeBool()) {
                file.resize(at);
                continue;
            }
            const std::string bytes =
                in.ConsumeBytesAsString(in.ConsumeIntegralInRange<size_t>(1, 8));
            for (size_t i = 0; i < bytes.size() && at + i < file.size(); ++i) {
                file[at + i] = static_cast<uint8_t>(bytes[i]);
            }
        }
    }
    {
        std::ofstream out(filePath(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    }

    fuzzing::PassThroughPc pc;
    pc.addPortAdapter();
    sim::KorvaneDrive& drive = pc.machine.addDrive(row.productId, "1.00");
    pc.machine.attach(drive, 0, 0, 1, 0, 4);

    dw::UpgradeState state;
    state.transport = &pc.transport;
    state.currentDevice.hostAdapter = 0;
    state.currentDevice.targetId = 1;
    state.currentDevice.driveLetter = 4;
    std::snprintf(state.currentDevice.vendor, sizeof state.currentDevice.vendor, "%s",
                  drive.vendor().c_str());
    std::snprintf(state.currentDevice.product, sizeof state.currentDevice.product, "%s",
                  drive.product().c_str());
    std::snprintf(state.currentDevice.revision, sizeof state.currentDevice.revision, "%s",
                  drive.revision().c_str());
    std::snprintf(state.upgradeFilePath, sizeof state.upgradeFilePath, "%s", filePath().c_str());

    QuietDialog dialog;
    if (dw::ValidateUpgradeFile(state, dialog)) {
        bool allowed = false;
        for (uint32_t s : sizes) allowed = allowed || s == file.size();
        FUZZ_REQUIRE(allowed);
        FUZZ_REQUIRE(state.procedureIndex == dw::procedureIndexForSize(file.size()));
        FUZZ_REQUIRE(state.validatedFile.valid && state.validatedFile.length == file.size());
    } else {
        FUZZ_REQUIRE(!dialog.status.empty());
    }
    // Nothing is sent to the drive that writes to it while a file is checked.
    for (const auto& command : drive.received()) {
        FUZZ_REQUIRE(command.opcode() != 0x3B && command.opcode() != 0xE1 &&
                     command.opcode() != 0xE2);
    }
    return 0;
}
