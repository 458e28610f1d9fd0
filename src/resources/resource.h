/* Resource identifiers, shared by drivewright.rc and the program. */
#ifndef DRIVEWRIGHT_RESOURCE_H
#define DRIVEWRIGHT_RESOURCE_H

#define IDD_ABOUTBOX 100
#define IDD_MAIN 102
#define IDD_ASPI_WARNING 130

#define IDI_ABOUT 128
#define IDI_MAIN 129

#define IDC_LOAD_FILE 1000
#define IDC_UPGRADE 1001
#define IDC_DEVICE_COMBO 1002
#define IDC_HOST_ADAPTER 1003
#define IDC_TARGET_ID 1004
#define IDC_FIRMWARE_VERSION 1005
#define IDC_STATUS 1006
#define IDC_WARNING_ICON 1007

#define IDM_ABOUTBOX 0x0010

#define DRIVEWRIGHT_TITLE "Drivewright  V1.25"

#endif
