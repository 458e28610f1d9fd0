// The string table's texts, from the same definitions the resource script compiles.
#include "resources/program_strings.h"

#include "resources/string_texts.h"

namespace dw {

std::string programString(uint32_t id) {
    switch (id) {
#define DW_STRING(name) \
    case name: return TEXT_##name;
        DW_STRING(IDS_ABOUTBOX)
        DW_STRING(IDS_NO_DISC)
        DW_STRING(IDS_READING_TOC)
        DW_STRING(IDS_NOT_READY)
        DW_STRING(IDS_RECOVERED_ERROR)
        DW_STRING(IDS_SEEK_ERROR)
        DW_STRING(IDS_BUFFER_UNDERRUN)
        DW_STRING(IDS_UNCORRECTABLE_READ)
        DW_STRING(IDS_LEAD_IN_ERROR)
        DW_STRING(IDS_LEAD_OUT_ERROR)
        DW_STRING(IDS_POWER_CALIBRATION)
        DW_STRING(IDS_MEDIUM_ERROR)
        DW_STRING(IDS_BUS_ERROR)
        DW_STRING(IDS_HARDWARE_ERROR)
        DW_STRING(IDS_INVALID_COMMAND)
        DW_STRING(IDS_ADDRESS_OUT_OF_RANGE)
        DW_STRING(IDS_INVALID_ADDRESS)
        DW_STRING(IDS_INVALID_PARAMETER)
        DW_STRING(IDS_UNIT_NOT_SUPPORTED)
        DW_STRING(IDS_INVALID_FIELD_IN_LIST)
        DW_STRING(IDS_ILLEGAL_MODE)
        DW_STRING(IDS_ILLEGAL_REQUEST)
        DW_STRING(IDS_DRIVE_RESET)
        DW_STRING(IDS_UNIT_ATTENTION)
        DW_STRING(IDS_COMMAND_ABORTED)
        DW_STRING(IDS_UNSPECIFIED_ERROR)
#undef DW_STRING
        default: return {};
    }
}

}  // namespace dw
