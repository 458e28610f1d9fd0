// mkimage: writes an upgrade image for a model row of the table.
//
//   mkimage --list
//   mkimage --row "DVDR   KV-829A" --size 1028096 [--version 1.10] [--seed N]
//           [--break checksum|ident|size] OUTPUT.bin
//
// The row is named by its product id (blanks included) or by its index in the table.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "firmware/firmware_image.h"
#include "image_writer.h"

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: mkimage --list\n"
                 "       mkimage --row NAME|INDEX --size BYTES [--version X.YZ] [--seed N]\n"
                 "               [--break checksum|ident|size] OUTPUT.bin\n");
    return 2;
}

void list() {
    for (size_t i = 0; i < dw::kModelTableRows; ++i) {
        const auto& row = dw::ModelTable[i];
        const auto sizes = dw::imageSizesFor(row);
        if (sizes.empty()) continue;
        std::printf("%2zu  \"%s\"", i, row.productId);
        for (uint32_t s : sizes) std::printf("  %u", s);
        std::printf("\n");
    }
}

}  // namespace

int main(int argc, char** argv) {
    dw::tools::ImageRequest wanted;
    std::string output;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--list") {
            list();
            return 0;
        } else if (arg == "--row" && hasValue) {
            wanted.row = dw::tools::findRow(argv[++i]);
            if (wanted.row == nullptr) {
                std::fprintf(stderr, "mkimage: no model row '%s'\n", argv[i]);
                return 2;
            }
        } else if (arg == "--size" && hasValue) {
            wanted.size = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 0));
        } else if (arg == "--version" && hasValue) {
            wanted.version = argv[++i];
        } else if (arg == "--seed" && hasValue) {
            wanted.seed = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 0));
        } else if (arg == "--break" && hasValue) {
            const std::string what = argv[++i];
            if (what == "checksum")
                wanted.breakage = dw::tools::Breakage::BadChecksum;
            else if (what == "ident")
                wanted.breakage = dw::tools::Breakage::BadIdentification;
            else if (what == "size")
                wanted.breakage = dw::tools::Breakage::WrongSize;
            else
                return usage();
        } else if (!arg.empty() && arg[0] != '-' && output.empty()) {
            output = arg;
        } else {
            return usage();
        }
    }
    if (wanted.row == nullptr || output.empty()) return usage();

    std::string error;
    const auto image = dw::tools::makeUpgradeImage(wanted, error);
    if (image.empty() || !dw::tools::writeFile(output, image, error)) {
        std::fprintf(stderr, "mkimage: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s: %zu bytes for \"%s\"\n", output.c_str(), image.size(), wanted.row->productId);
    return 0;
}
