/* The texts of the string table. Included by drivewright.rc, which builds the string table
   resource from them, and by the simulated PC, which answers LoadString with them. */
#ifndef DRIVEWRIGHT_STRING_TEXTS_H
#define DRIVEWRIGHT_STRING_TEXTS_H

#define IDS_ABOUTBOX 101
#define IDS_NO_DISC 103
#define IDS_READING_TOC 104
#define IDS_NOT_READY 105
#define IDS_RECOVERED_ERROR 106
#define IDS_SEEK_ERROR 107
#define IDS_BUFFER_UNDERRUN 108
#define IDS_UNCORRECTABLE_READ 109
#define IDS_LEAD_IN_ERROR 110
#define IDS_LEAD_OUT_ERROR 111
#define IDS_POWER_CALIBRATION 112
#define IDS_MEDIUM_ERROR 113
#define IDS_BUS_ERROR 114
#define IDS_HARDWARE_ERROR 115
#define IDS_INVALID_COMMAND 116
#define IDS_ADDRESS_OUT_OF_RANGE 117
#define IDS_INVALID_ADDRESS 118
#define IDS_INVALID_PARAMETER 119
#define IDS_UNIT_NOT_SUPPORTED 120
#define IDS_INVALID_FIELD_IN_LIST 121
#define IDS_ILLEGAL_MODE 122
#define IDS_ILLEGAL_REQUEST 123
#define IDS_DRIVE_RESET 124
#define IDS_UNIT_ATTENTION 125
#define IDS_COMMAND_ABORTED 126
#define IDS_UNSPECIFIED_ERROR 127

#define TEXT_IDS_ABOUTBOX "&About Korvane Upgrade..."
#define TEXT_IDS_NO_DISC "No disc in drive"
#define TEXT_IDS_READING_TOC "Reading of TOC in progress"
#define TEXT_IDS_NOT_READY "Drive not ready"
#define TEXT_IDS_RECOVERED_ERROR "Recovered error"
#define TEXT_IDS_SEEK_ERROR "Unable to seek to requested position"
#define TEXT_IDS_BUFFER_UNDERRUN "Buffer underrun"
#define TEXT_IDS_UNCORRECTABLE_READ "Uncorrectable read error"
#define TEXT_IDS_LEAD_IN_ERROR "Error writing Lead-In"
#define TEXT_IDS_LEAD_OUT_ERROR "Error writing Lead-Out"
#define TEXT_IDS_POWER_CALIBRATION "Power calibration failed"
#define TEXT_IDS_MEDIUM_ERROR "Medium error"
#define TEXT_IDS_BUS_ERROR "Bus error"
#define TEXT_IDS_HARDWARE_ERROR "Hardware error"
#define TEXT_IDS_INVALID_COMMAND "Invalid command"
#define TEXT_IDS_ADDRESS_OUT_OF_RANGE "Address out of range"
#define TEXT_IDS_INVALID_ADDRESS "Invalid address"
#define TEXT_IDS_INVALID_PARAMETER "Invalid parameter"
#define TEXT_IDS_UNIT_NOT_SUPPORTED "Unit not supported"
#define TEXT_IDS_INVALID_FIELD_IN_LIST "Invalid field in parameter list"
#define TEXT_IDS_ILLEGAL_MODE "Illegal mode for this track"
#define TEXT_IDS_ILLEGAL_REQUEST "Illegal request"
#define TEXT_IDS_DRIVE_RESET "Drive reset occurred"
#define TEXT_IDS_UNIT_ATTENTION "Unit attention"
#define TEXT_IDS_COMMAND_ABORTED "Command aborted"
#define TEXT_IDS_UNSPECIFIED_ERROR "Unspecified error"

#endif
