// Drives: the mounted optical discs and the folders named in QUILLMERE_DVD, all reported
// as CD-ROM drives, and the user's videos folder.
#pragma once

#include <string>
#include <vector>

#include <win32/export.h>
#include <win32/types.h>

inline constexpr UINT DRIVE_UNKNOWN = 0;
inline constexpr UINT DRIVE_NO_ROOT_DIR = 1;
inline constexpr UINT DRIVE_REMOVABLE = 2;
inline constexpr UINT DRIVE_FIXED = 3;
inline constexpr UINT DRIVE_REMOTE = 4;
inline constexpr UINT DRIVE_CDROM = 5;
inline constexpr UINT DRIVE_RAMDISK = 6;

extern "C" {
// Roots as NUL-separated strings ending in "/", the list ended by an extra NUL. Returns
// the length without the final NUL, or, when the buffer is too small, the size it
// needs (final NUL included) without writing anything.
QWIN32_API DWORD GetLogicalDriveStringsA(DWORD size, LPSTR buffer);

// DRIVE_CDROM for every listed root (with or without its trailing "/"), DRIVE_FIXED for
// another existing folder, DRIVE_NO_ROOT_DIR otherwise.
QWIN32_API UINT GetDriveTypeA(LPCSTR root);
}

// The roots GetLogicalDriveStringsA lists: optical discs from the mounts table
// (filesystems iso9660 and udf, or devices /dev/sr*) in table order, then each folder of
// the colon-separated QUILLMERE_DVD.
QWIN32_API std::vector<std::string> LogicalDrives();

// The video folder of a drive root: root + "VIDEO_TS" on a disc (in any case). A folder
// of QUILLMERE_DVD may also be the VIDEO_TS folder itself, known by its VIDEO_TS.IFO:
// then the folder (without its trailing "/"). Otherwise root + "VIDEO_TS", which does
// not exist.
QWIN32_API std::string VideoFolderOf(const std::string& root);

// Reads the mounts table from another file; "" restores /proc/self/mounts.
QWIN32_API void SetMountsFile(const std::string& path);

// The user's videos folder (xdg-user-dir VIDEOS, else $HOME), ending in "/": the default
// folder for output files.
QWIN32_API std::string UserVideosFolder();
