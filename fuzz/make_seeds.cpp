// Writes the seed corpora of the fuzz targets, from the cases the unit tests use: the port
// driver's inquiry data of simulated ports, the sense codes of the message table, the INQUIRY
// strings of every model row, valid images of every row and size, and simulated PCs.
//
//   make_seeds FOLDER        (writes FOLDER/<target>/<seed>)
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "firmware/firmware_image.h"
#include "identify/model_table.h"
#include "sim/machine.h"

namespace fs = std::filesystem;

namespace {

void write(const fs::path& folder, const std::string& name, const std::vector<uint8_t>& bytes) {
    fs::create_directories(folder);
    std::ofstream(folder / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const fs::path root = argv[1];

    // Inquiry data of ports with one to three drives on one or two buses.
    for (int drives = 1; drives <= 3; ++drives) {
        sim::Machine pc;
        sim::SimPort& port = pc.addPort(0);
        port.busCount = drives == 3 ? 2 : 1;
        for (int d = 0; d < drives; ++d) {
            auto& drive = pc.addDrive("DVDR   KV-829A", "1.00");
            pc.attach(drive, 0, d % port.busCount, d, 0, 4 + d);
        }
        write(root / "port_inquiry_data", "port" + std::to_string(drives),
              pc.portInquiryData(port));
    }

    // Sense data: no sense, no disc, invalid field, reset, a vendor code.
    const uint8_t senses[][3] = {{0, 0, 0},    {2, 0x3A, 0}, {5, 0x24, 0},
                                 {6, 0x29, 0}, {2, 0x3A, 3}, {9, 0x80, 1}};
    for (const auto& s : senses) {
        std::vector<uint8_t> sense(16, 0);
        sense[0] = 0x70;
        sense[2] = s[0];
        sense[7] = 10;
        sense[12] = s[1];
        sense[13] = s[2];
        write(root / "sense_text",
              "sense" + std::to_string(s[0]) + "-" + std::to_string(s[1]) + "-" +
                  std::to_string(s[2]),
              sense);
    }

    // INQUIRY strings of every row (the bus kind and target come from the input's end).
    for (size_t i = 0; i < dw::kModelTableRows; ++i) {
        std::string product = dw::ModelTable[i].productId;
        product.resize(16, ' ');
        for (uint8_t bus : {0, 5}) {  // as Atapi and as Usb
            std::string seed = "KORVANE " + product + "1.00";
            seed += static_cast<char>(bus);
            seed += static_cast<char>(i % 16);
            write(root / "identification", "row" + std::to_string(i) + "-" + std::to_string(bus),
                  bytesOf(seed));
        }
    }

    // Upgrade files: a valid image of each row and size (version, size index, patch mode, row),
    // and small whole files.
    size_t upgradable = 0;
    for (const auto& row : dw::ModelTable) {
        const auto sizes = dw::imageSizesFor(row);
        if (sizes.empty()) continue;
        for (size_t s = 0; s < sizes.size(); ++s) {
            std::string seed;
            seed += static_cast<char>(s);
            seed += '\0';
            seed += static_cast<char>(upgradable);
            write(root / "upgrade_file",
                  "row" + std::to_string(upgradable) + "-size" + std::to_string(s), bytesOf(seed));
        }
        std::string whole = "KORVANE" + std::string(row.productId) + "1.10";
        whole += '\1';
        whole += static_cast<char>(upgradable);
        write(root / "upgrade_file", "whole" + std::to_string(upgradable), bytesOf(whole));
        ++upgradable;
    }

    // Simulated PCs: the choices come from the input's end, the texts from its front.
    const std::string texts =
        "ESDI_506\0Primary IDE controller\0KORVANE_DVDR___KV-829A\0MF&CHILD0000\0E\00"
        "\0atapi\0SCSI\\KORVANE_DVDR___KV-829A\\MF&CHILD0000\0";
    for (uint8_t family = 0; family < 2; ++family) {
        for (uint8_t count = 1; count <= 3; ++count) {
            std::vector<uint8_t> seed(texts.begin(), texts.end());
            for (int k = 0; k < 24; ++k) seed.push_back(count);
            seed.push_back(family);
            write(root / "discovery", "pc" + std::to_string(family) + "-" + std::to_string(count),
                  seed);
        }
    }
    // sysfs: a class link of each attachment, a type, a link speed, a mount table, an address.
    const char* links[] = {
        "../../devices/pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0/scsi_generic/sg0",
        "../../devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0/"
        "scsi_generic/sg0",
        "../../devices/pci0000:00/0000:00:1c.0/0000:05:00.0/fw1/fw1.0/host7/target7:0:0/7:0:0:0/"
        "scsi_generic/sg0",
        "../../devices/pci0000:00/0000:00:1e.0/fw-host0/00/00-0/host3/target3:0:0/3:0:0:0",
        "../../devices/pci0000:00/0000:03:00.0/host2/target2:0:4/2:0:4:0/scsi_generic/sg0"};
    int n = 0;
    for (const char* link : links) {
        const std::string seed =
            std::string(link) + "\n5\n3.0 Gbps\n/dev/sr0 /media/a\\040b iso9660 ro 0 0\n2:0:4:0";
        write(root / "sysfs", "link" + std::to_string(n++), bytesOf(seed));
    }
    return 0;
}
