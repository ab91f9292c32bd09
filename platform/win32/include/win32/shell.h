// Opening documents and addresses with the desktop, and leaving the session.
#pragma once

#include <functional>

#include <win32/constants.h>
#include <win32/export.h>
#include <win32/types.h>

// ShellExecuteA results at or below 32 are errors.
inline constexpr int SE_ERR_FNF = 2;
inline constexpr int SE_ERR_PNF = 3;
inline constexpr int SE_ERR_ACCESSDENIED = 5;
inline constexpr int SE_ERR_OOM = 8;
inline constexpr int SE_ERR_NOASSOC = 31;

// ExitWindowsEx flags.
inline constexpr UINT EWX_LOGOFF = 0x00000000;
inline constexpr UINT EWX_SHUTDOWN = 0x00000001;
inline constexpr UINT EWX_REBOOT = 0x00000002;
inline constexpr UINT EWX_FORCE = 0x00000004;
inline constexpr UINT EWX_POWEROFF = 0x00000008;
inline constexpr UINT EWX_FORCEIFHUNG = 0x00000010;

extern "C" {
// Opens file (a path, or an address such as https://...) with xdg-open, started
// without a shell; verb null, "open" or "explore". dir, when given, is the working
// folder. Returns a value above 32 when xdg-open was started, else SE_ERR_*
// (SE_ERR_ACCESSDENIED for a path that is neither a regular file nor a folder).
QWIN32_API HINSTANCE ShellExecuteA(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                                   LPCSTR dir, INT show);

// Asks the desktop session to log the user out (EWX_LOGOFF), through the handler below.
QWIN32_API BOOL ExitWindowsEx(UINT flags, DWORD reason);
}

using ExitWindowsHandler = std::function<BOOL(UINT flags, DWORD reason)>;

// Replaces what ExitWindowsEx does (tests install a recorder so nobody is logged out);
// an empty handler restores the default, which asks the session manager for a graceful
// log-out and never kills processes. Returns the handler that was installed before.
QWIN32_API ExitWindowsHandler SetExitWindowsHandler(ExitWindowsHandler handler);
