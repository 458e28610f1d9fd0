#include "firmware/upgrade_file_validation.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>

#include "firmware/firmware_image.h"
#include "identify/identify_model.h"
#include "util/image_digest.h"

namespace dw {

namespace {

const char kNoValidFile[] = "No valid upgrade file selected";
const char kNotValid[] = "Not a valid upgrade file";
const char kDowngradeWarning[] =
    "                            *** WARNING ***\r\n"
    "Downgrading to a firmware version below V1.02 is not supported.";

// The status line of a refusal, and why, for the front end that asked.
bool refuse(UpgradeDialog& dialog, const char* status, FileRefusal& refusal, FileRefusal::Kind kind,
            int error = 0) {
    refusal.kind = kind;
    refusal.error = error;
    dialog.setStatusText(status);
    dialog.refresh();
    return false;
}

FileRefusal::Kind sizeOrNoFiles(const ModelFamily& family) {
    return family.identity.identOffset == 0 ? FileRefusal::Kind::NoUpgradeFiles
                                            : FileRefusal::Kind::Size;
}

// Feeds a piece that starts at file offset `at` to the digest, adding the bytes that lie in the
// plan's ranges to `sum` on the way.
void digestPiece(ImageDigest& digest, uint32_t& sum, const ChecksumPlan& plan, const uint8_t* piece,
                 uint64_t at, size_t n) {
    uint64_t p = at;
    const uint64_t end = at + n;
    while (p < end) {
        uint64_t next = end;
        bool inRange = false;
        for (const auto& r : plan.ranges) {
            if (p >= r.begin && p < r.end) {
                inRange = true;
                next = std::min<uint64_t>(next, r.end);
            } else if (r.begin > p) {
                next = std::min<uint64_t>(next, r.begin);
            }
        }
        const uint8_t* segment = piece + (p - at);
        const size_t length = static_cast<size_t>(next - p);
        if (inRange) {
            digest.updateAndSum(segment, length, sum);
        } else {
            digest.update(segment, length);
        }
        p = next;
    }
}

// Copies the bytes of piece [at, at + n) that fall into [begin, begin + out.size()).
void copyOverlap(const uint8_t* piece, uint64_t at, size_t n, uint64_t begin, std::string& out,
                 size_t& filled) {
    const uint64_t end = begin + out.size();
    const uint64_t from = std::max(at, begin);
    const uint64_t to = std::min(at + n, end);
    for (uint64_t i = from; i < to; ++i) {
        out[size_t(i - begin)] = static_cast<char>(piece[i - at]);
        ++filled;
    }
}

}  // namespace

std::string upgradeFileName(const char* path) {
    // The Windows file dialog separates with backslashes; a Linux path has slashes.
    const char* name = path;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '\\' || *p == '/') name = p + 1;
    }
    return name;
}

int twoDigitValue(char first, char second) {
    if (first < '0' || first > '9') return 0;
    if (second < '0' || second > '9') return first - '0';
    return (first - '0') * 10 + (second - '0');
}

bool ValidateUpgradeFile(UpgradeState& state, UpgradeDialog& dialog, FileRefusal* why) {
    state.validatedFile = {};
    ScsiTransport& transport = *state.transport;
    DeviceEntry& device = state.currentDevice;
    FileRefusal ignored;
    FileRefusal& refusal = why != nullptr ? *why : ignored;
    refusal = {};

    std::ifstream file(state.upgradeFilePath, std::ios::binary);
    if (!file) return refuse(dialog, kNoValidFile, refusal, FileRefusal::Kind::CannotOpen, errno);

    // The row and its three fields come from one identification: taken from separate ones, a
    // drive that stops answering between them would have its file checked against a half row.
    ModelFamily family;
    if (!IdentifyModel(transport, device, family)) {
        return refuse(dialog, kNotValid, refusal, FileRefusal::Kind::DriveNotIdentified);
    }
    const std::string row = family.productId;
    refusal.row = row;

    // Drives of the "821" family must not go below version 1.02: the version the drive has now,
    // which after an upgrade in this run the port driver's copy does not know.
    if (row.find("821") != std::string::npos) {
        InquiryStrings drive;
        if ((transport.currentInquiry(device, drive) & 0xFF) == 1) {
            char version[kVersionLength] = {};
            file.seekg(kVersionOffset);
            file.read(version, kVersionLength);
            const std::streamsize got = file.gcount();
            const int fileNumber =
                got == std::streamsize(kVersionLength) ? twoDigitValue(version[2], version[3]) : 0;
            file.clear();
            const int driveNumber = twoDigitValue(drive.revision[2], drive.revision[3]);
            if (fileNumber < 2 && driveNumber >= 2) {
                dialog.showWarning(kDowngradeWarning);
                refusal.fileVersion.assign(version, static_cast<size_t>(got));
                refusal.driveVersion.assign(drive.revision,
                                            strnlen(drive.revision, kRevisionLength));
                return refuse(dialog, kNotValid, refusal, FileRefusal::Kind::Downgrade);
            }
        }
    }

    // The end's offset is the length: one seek there and one back (a tellg would be a third).
    const auto length = static_cast<uint64_t>(
        std::streamoff(file.rdbuf()->pubseekoff(0, std::ios::end, std::ios::in)));
    file.seekg(0);
    state.procedureIndex = procedureIndexForSize(length);
    refusal.size = length;
    refusal.sizes = imageSizesFor(family);
    // No procedure can download a file of any other size.
    if (state.procedureIndex < 0) return refuse(dialog, kNotValid, refusal, sizeOrNoFiles(family));

    const std::string identText = family.identity.identText;
    const ChecksumPlan plan = checksumPlanFor(family, state.procedureIndex);

    // One pass over the whole file: the digest of every byte, the summed ranges, and the bytes
    // of the identification string and of the stored checksum.
    ImageDigest digest;
    uint32_t sum = 0;
    std::string ident(identText.size(), '\0');
    size_t identFilled = 0;
    std::string stored(2, '\0');
    size_t storedFilled = 0;
    uint64_t at = 0;
    uint8_t* piece = state.transferBuffer.data();
    while (file) {
        file.read(reinterpret_cast<char*>(piece), std::streamsize(kTransferBufferSize));
        const auto n = static_cast<size_t>(file.gcount());
        if (n == 0) break;
        if (plan.impossible) {
            digest.update(piece, n);
        } else {
            digestPiece(digest, sum, plan, piece, at, n);
        }
        copyOverlap(piece, at, n, family.identity.identOffset, ident, identFilled);
        copyOverlap(piece, at, n, plan.storedAt, stored, storedFilled);
        at += n;
    }
    // A file that could not be read to its end is not known to be the file it claims to be.
    if (file.bad() || at != length) {
        refusal.at = at;
        return refuse(dialog, kNoValidFile, refusal, FileRefusal::Kind::CannotRead,
                      file.bad() ? errno : 0);
    }

    // A drive without an upgradable row has nothing a file could be checked against; a size the
    // row's files do not have leaves its identification or checksum outside the file.
    const bool sizeFits =
        std::find(refusal.sizes.begin(), refusal.sizes.end(), length) != refusal.sizes.end();
    if (family.identity.identOffset == 0 || !sizeFits) {
        return refuse(dialog, kNotValid, refusal, sizeOrNoFiles(family));
    }
    if (identFilled != ident.size() || ident != identText) {
        refusal.at = family.identity.identOffset;
        refusal.expected = identText;
        refusal.found = ident.substr(0, identFilled);
        return refuse(dialog, kNotValid, refusal, FileRefusal::Kind::Ident);
    }

    bool rangesRead = !plan.impossible && storedFilled == 2;
    for (const auto& range : plan.ranges) rangesRead = rangesRead && range.end <= at;
    const uint16_t storedValue =
        static_cast<uint16_t>(uint8_t(stored[0]) << 8 | uint8_t(stored[1]));
    if (!rangesRead || storedValue != expectedChecksum(sum, plan)) {
        refusal.at = plan.storedAt;
        refusal.stored = storedValue;
        refusal.computed = expectedChecksum(sum, plan);
        return refuse(dialog, kNotValid, refusal, FileRefusal::Kind::Checksum);
    }

    refusal = {};
    state.validatedFile.valid = true;
    state.validatedFile.length = at;
    state.validatedFile.digest = digest.value();
    dialog.setStatusText("Valid upgrade file loaded: " + upgradeFileName(state.upgradeFilePath));
    dialog.refresh();
    return true;
}

}  // namespace dw
