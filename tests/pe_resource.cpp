// Prints one resource of a Windows program, found by type and id in its resource section, so
// that a test can read back what the build put into the exe (its application manifest).
//
//   pe_resource EXE TYPE ID     (exit code 1 when the file holds no such resource)
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

namespace {

std::vector<uint8_t> image;

std::optional<uint32_t> read(size_t at, size_t size) {
    if (at > image.size() || size > image.size() - at) return std::nullopt;
    uint32_t value = 0;
    for (size_t i = 0; i < size; ++i) value |= uint32_t(image[at + i]) << (8 * i);
    return value;
}

struct Section {
    uint32_t virtualAddress, virtualSize, rawOffset, rawSize;
};
std::vector<Section> sections;

std::optional<size_t> fileOffset(uint32_t rva) {
    for (const Section& s : sections) {
        const uint32_t span = s.virtualSize > s.rawSize ? s.rawSize : s.virtualSize;
        if (rva >= s.virtualAddress && rva - s.virtualAddress < span) {
            return size_t(s.rawOffset) + (rva - s.virtualAddress);
        }
    }
    return std::nullopt;
}

// The entry of a resource directory (at `dir`, relative to the section at `base`) with the id,
// or with any id when `id` is negative: its offset field.
std::optional<uint32_t> entry(size_t base, uint32_t dir, long id) {
    const auto named = read(base + dir + 12, 2), ids = read(base + dir + 14, 2);
    if (!named || !ids) return std::nullopt;
    for (uint32_t i = 0; i < *named + *ids; ++i) {
        const size_t at = base + dir + 16 + 8 * size_t(i);
        const auto name = read(at, 4), offset = read(at + 4, 4);
        if (!name || !offset) return std::nullopt;
        if (id < 0 || (!(*name & 0x80000000u) && *name == uint32_t(id))) return offset;
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: pe_resource EXE TYPE ID\n");
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    image.assign(std::istreambuf_iterator<char>(file), {});
    const auto pe = read(0x3C, 4);
    if (!pe || read(*pe, 4) != 0x4550u) return std::fprintf(stderr, "not a PE file\n"), 1;
    const auto count = read(*pe + 6, 2), optionalSize = read(*pe + 20, 2);
    const size_t optional = *pe + 24;
    const auto magic = read(optional, 2);
    if (!count || !optionalSize || !magic) return 1;
    const size_t directories = optional + (*magic == 0x20B ? 112 : 96);
    const auto resourceRva = read(directories + 8 * 2, 4);
    for (uint32_t i = 0; i < *count; ++i) {
        const size_t at = optional + *optionalSize + 40 * size_t(i);
        const auto va = read(at + 12, 4), vsize = read(at + 8, 4), raw = read(at + 20, 4),
                   rsize = read(at + 16, 4);
        if (!va || !vsize || !raw || !rsize) return 1;
        sections.push_back({*va, *vsize, *raw, *rsize});
    }
    const auto base = resourceRva ? fileOffset(*resourceRva) : std::nullopt;
    if (!base || *resourceRva == 0) return std::fprintf(stderr, "no resources\n"), 1;

    // Type, then id, then the first language, then the data entry.
    const auto type = entry(*base, 0, std::strtol(argv[2], nullptr, 10));
    if (!type || !(*type & 0x80000000u)) return std::fprintf(stderr, "no such type\n"), 1;
    const auto name = entry(*base, *type & 0x7FFFFFFFu, std::strtol(argv[3], nullptr, 10));
    if (!name || !(*name & 0x80000000u)) return std::fprintf(stderr, "no such id\n"), 1;
    const auto language = entry(*base, *name & 0x7FFFFFFFu, -1);
    if (!language || (*language & 0x80000000u)) return 1;
    const auto dataRva = read(*base + *language, 4), size = read(*base + *language + 4, 4);
    const auto data = dataRva ? fileOffset(*dataRva) : std::nullopt;
    if (!data || !size || *data > image.size() || *size > image.size() - *data) return 1;
    std::fwrite(image.data() + *data, 1, *size, stdout);
    return 0;
}
