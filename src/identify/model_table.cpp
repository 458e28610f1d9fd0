#include "identify/model_table.h"

namespace dw {

// clang-format off
constexpr ModelFamily ModelTable[kModelTableRows] = {
    // productId           {identOffset, checksumEnd, identText}; rows 0 to 10 cannot be upgraded
    {"CD-ROM KV-6XCH",    {0,       0,       ""}},                        // 0
    {"CD-ROM KV-7XCS",    {0,       0,       ""}},                        // 1
    {"CD-ROM KV-6XCE",    {0,       0,       ""}},                        // 2
    {"CD-ROM KV-9XCS",    {0,       0,       ""}},                        // 3
    {"CD-ROM KV-3XCS",    {0,       0,       ""}},                        // 4
    {"CD-ROM KV-15CS",    {0,       0,       ""}},                        // 5
    {"CD-ROM KV-15TS",    {0,       0,       ""}},                        // 6
    {"CD-ROM KV-31TS",    {0,       0,       ""}},                        // 7
    {"CD-ROM KV-47TS",    {0,       0,       ""}},                        // 8
    {"CD-ROM KV-47CS",    {0,       0,       ""}},                        // 9
    {"CD-R   KV-R535C",   {0,       0,       ""}},                        // 10
    {"*Program Mode1*",   {0x180,   0x3FFE,  "KORVANE CD-R   KV-R535C"}}, // 11
    {"CD-ROM KV-62TS",    {0x41F4,  0x1FFFE, "VKLD 002"}},                // 12
    {"CD-R   KV-R397T",   {0x7FF1C, 0x7FFFE, "KORVANE TOVARIN 000"}},     // 13
    {"CD-ROM KV-62TW",    {0x41F4,  0x1FFFE, "TOLVE202"}},                // 14
    {"CD-R   KV-W7553T",  {0x7FF1C, 0x7FFFE, "KORVANE MERIDAX 000"}},     // 15
    {"CD-R   KV-W6995T",  {0x7FF1C, 0x7FFFE, "KORVANE QUELBA  000"}},     // 16
    {"CD-ROM KV-xxTS",    {0x41F4,  0x1FFFE, "QSB  003"}},                // 17
    {"CD-R   KV-W1769T",  {0x5FF1C, 0x5FFFE, "KORVANE DORVISK 000"}},     // 18
    {"CD-R   KV-W368TS",  {0x7FF1C, 0x7FFFE, "KORVANE HALVENT 000"}},     // 19
    {"CD-R   KV-W2321A",  {0x1001C, 0x77FFE, "KORVANE RUSKAL  000"}},     // 20
    {"CD-R   KV-W2321S",  {0x1001C, 0x77FFE, "KORVANE LOMBERT 000"}},     // 21
    {"CD-R   KV-W2721A",  {0x10030, 0x77FFE, "KORVANE SELVARN 000"}},     // 22
    {"CD-R   KV-S3850TU", {0x10030, 0x77FFE, "KORVANE TOBRIAN 000"}},     // 23
    {"CD-R   KV-W3850U",  {0x10030, 0x77FFE, "KORVANE TOBRIAN 000"}},     // 24
    {"CD-R   KV-W3850A",  {0x10030, 0x77FFE, "KORVANE TOBRIAN 000"}},     // 25
    {"CD-R   KV-309U",    {0x10030, 0x77FFE, "KORVANE KELMOR  000"}},     // 26
    {"CD-R   KV-S37TU",   {0x10030, 0x77FFE, "KORVANE KELMOR  000"}},     // 27
    {"CD-R   KV-S37T",    {0x10030, 0x77FFE, "KORVANE KELMOR  000"}},     // 28
    {"CD-R   KV-W6025U",  {0x10030, 0x77FFE, "KORVANE GALDREN 000"}},     // 29
    {"CD-R   KV-W6025A",  {0x10030, 0x77FFE, "KORVANE GALDREN 000"}},     // 30
    {"CD-R   KV-W6025S",  {0x10030, 0x77FFE, "KORVANE VORTHAL 000"}},     // 31
    {"CD-R   KV-343A",    {0x10030, 0,       "KORVANE ZIRCONE 000"}},     // 32
    {"CD-R   KV-W5936U",  {0x30,    0x79FFE, "KORVANE TARN    000"}},     // 33
    {"CD-R   KV-W5936A",  {0x30,    0x79FFE, "KORVANE TARN    000"}},     // 34
    {"DVDR   KV-630A",    {0x10030, 0xEFFFE, "KORVANE PELORIA 000"}},     // 35
    {"DVDR   KV-630UF",   {0x10030, 0xEFFFE, "KORVANE PELORIA 000"}},     // 36
    {"CD-R   SUPERBA-U",  {0x30,    0x7C7FE, "KORVANE KIVA    000"}},     // 37
    {"CD-R   SUPERBA",    {0x30,    0x7C7FE, "KORVANE KIVA    000"}},     // 38
    {"CD-R   KV-W6347A",  {0x30,    0x79FFE, "KORVANE DRAV    000"}},     // 39
    {"CD-ROM KV-66TA",    {0x10030, 0xEFFFE, "KORVANE 000"}},             // 40
    {"DVD-ROM KV-138A3",  {0x10030, 0xEFFFE, "KORVANE 000"}},             // 41
    {"DVD-ROM KV-138A2",  {0x10030, 0xEFFFE, "KORVANE 000"}},             // 42
    {"DVD-ROM KV-138A",   {0x10030, 0xEFFFE, "KORVANE 000"}},             // 43
    {"DVDR   KV-817A",    {0x30,    0xEFFFE, "KORVANE HESK    000"}},     // 44
    {"DVDR   KV-821A2",   {0x30,    0xEFFFE, "KORVANE CORVIN  000"}},     // 45
    {"DVDR   KV-821UF2",  {0x30,    0xEFFFE, "KORVANE CORVIN  000"}},     // 46
    {"DVDR   KV-821A",    {0x30,    0xEFFFE, "KORVANE MOSK    000"}},     // 47
    {"DVDR   KV-821UF",   {0x30,    0xEFFFE, "KORVANE MOSK    000"}},     // 48
    {"DVDR   KV-825A",    {0x30,    0xEFFFE, "KORVANE CORVIN  000"}},     // 49
    {"DVDR   KV-825SA",   {0x30,    0xEFFFE, "KORVANE CORVIN  000"}},     // 50
    {"DVDR   KV-825UF",   {0x30,    0xEFFFE, "KORVANE CORVIN  000"}},     // 51
    {"DVDR   KV-825U",    {0x30,    0xEFFFE, "KORVANE CORVIN  000"}},     // 52
    {"DVDR   KV-829UFL",  {0x30,    0xEFFFE, "KORVANE LUTE-L  000"}},     // 53
    {"DVDR   KV-829AL",   {0x30,    0xEFFFE, "KORVANE LUTE-L  000"}},     // 54
    {"DVDR   KV-829UF",   {0x30,    0xEFFFE, "KORVANE LUTE    000"}},     // 55
    {"DVDR   KV-829SA",   {0x30,    0xEFFFE, "KORVANE LUTE    000"}},     // 56
    {"DVDR   KV-829A",    {0x30,    0xEFFFE, "KORVANE LUTE    000"}},     // 57
    {"CD-R   KV-251A",    {0x30,    0xEFFFE, "KORVANE 000"}},             // 58
    {"CD-R   KV-251S",    {0x30,    0xEFFFE, "KORVANE 000"}},             // 59
    {"DVD-ROM KV-149A",   {0x10030, 0xEFFFE, "KORVANE 000"}},             // 60
    {"DVDR   KV-827A",    {0x30,    0xEFFFE, "KORVANE LUTE    000"}},     // 61
    {"DVDR   KV-852UF",   {0x30,    0xEFFFE, "KORVANE 000"}},             // 62
    {"DVDR   KV-852A",    {0x30,    0xEFFFE, "KORVANE 000"}},             // 63
};
// clang-format on

namespace {

constexpr size_t textLength(const char* text) {
    size_t n = 0;
    while (text[n] != '\0') ++n;
    return n;
}

constexpr bool isPrefixOf(const char* shorter, const char* longer) {
    const size_t n = textLength(shorter);
    if (n > textLength(longer)) return false;
    for (size_t i = 0; i < n; ++i) {
        if (shorter[i] != longer[i]) return false;
    }
    return true;
}

// A longer name must come before every shorter name that is its prefix, or the shorter one
// would take its drives. Two equal names fail this too.
constexpr bool longerNamesComeFirst() {
    for (size_t i = 0; i < kModelTableRows; ++i) {
        for (size_t j = i + 1; j < kModelTableRows; ++j) {
            if (isPrefixOf(ModelTable[i].productId, ModelTable[j].productId)) return false;
        }
    }
    return true;
}

// A missing row would be left empty at the end of the array.
constexpr bool everyRowHasAName() {
    for (const ModelFamily& row : ModelTable) {
        if (row.productId[0] == '\0') return false;
    }
    return true;
}

static_assert(everyRowHasAName(), "the table has fewer rows than it says");
static_assert(longerNamesComeFirst(), "a row name that is a prefix of a later one hides it");

}  // namespace

const ModelFamily* matchModelRow(std::string_view workingId) {
    for (const ModelFamily& row : ModelTable) {
        // A working id shorter than the row name does not match it.
        if (workingId.starts_with(std::string_view(row.productId))) return &row;
    }
    return nullptr;
}

}  // namespace dw
