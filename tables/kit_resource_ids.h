// The kit's resources by type, name and id, and the codes of its tables:
// plain definitions, for the resource compiler and the build machine's tools
// as well as for the kit.
//
// Every table is an RT_RCDATA resource found by name. Rows are packed byte to
// byte: ANSI NUL-terminated strings and 16-bit little-endian numbers at any
// offset; a 16-bit zero where a row would begin ends the table.
#pragma once

// The install dialog and its controls.
#define IDD_INSTALL 100
#define IDC_PICTURE 201
#define IDC_PROGRESS_GROUP 210
#define IDC_PROGRESS_LINE1 211
#define IDC_PROGRESS_LINE2 212
#define IDC_PROGRESS_BAR 213
#define IDC_INSTALL 1  // IDOK: the default button, also Enter
#define IDC_EXIT 2     // IDCANCEL: also Escape and the close box

// The picture and the program icon.
#define IDB_KIT_PICTURE 1000
#define IDI_KIT 1000

// The string table.
#define IDS_TITLE 1000        // the kit's title: caption of every message
#define IDS_APP_RUNNING 1001  // "Cannot proceed because %s is currently running. ..."
#define IDS_NO_QUALIFYING 1002
#define IDS_INITIALIZING 1003
#define IDS_TRANSFER_ERROR 1004  // "Error %d transferring file %s."
#define IDS_INSTALL_FAILED 1005
#define IDS_COMPLETED 1006

// The version block.
#define IDV_VERSION 1

// The four tables (RT_RCDATA, by name) and the archives (type by name,
// integer ids).
#define KIT_TABLE_APP_VERSIONS "AppVersions"
#define KIT_TABLE_WINDOW_LIST "WindowList"
#define KIT_TABLE_ARCHIVE_LIST "ArchiveList"
#define KIT_TABLE_REGISTRY_LIST "RegistryList"
#define KIT_ARCHIVE_TYPE "Archive"

// Destination bases of archive list rows; any other value means the
// product's install directory.
#define KIT_BASE_INSTALL 0
#define KIT_BASE_WINDOWS 1
#define KIT_BASE_SYSTEM 2

// Registry list root codes and type codes.
#define KIT_ROOT_CLASSES_ROOT 1
#define KIT_ROOT_LOCAL_MACHINE 2
#define KIT_ROOT_CURRENT_USER 3
#define KIT_ROOT_USERS 4
#define KIT_TYPE_STRING 1
#define KIT_TYPE_EXPAND_STRING 2
#define KIT_TYPE_DWORD 4
