// Global memory handles and the clipboard. The clipboard text lives in a process-wide
// store behind a provider; the GUI backend installs one that talks to the desktop's
// clipboard, so libraries that never link the GUI layer still reach it.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include <win32/export.h>
#include <win32/types.h>

inline constexpr UINT GMEM_FIXED = 0x0000;
inline constexpr UINT GMEM_MOVEABLE = 0x0002;
inline constexpr UINT GMEM_ZEROINIT = 0x0040;
inline constexpr UINT GMEM_DDESHARE = 0x2000;
inline constexpr UINT GMEM_SHARE = GMEM_DDESHARE;
inline constexpr UINT GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;
inline constexpr UINT GPTR = GMEM_FIXED | GMEM_ZEROINIT;

inline constexpr UINT CF_TEXT = 1;

extern "C" {
// Fixed blocks: the handle is the memory itself. Moveable blocks: the handle is locked
// to get the memory. Unknown handles fail cleanly (null/0 and ERROR_INVALID_HANDLE).
QWIN32_API HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes);
QWIN32_API LPVOID GlobalLock(HGLOBAL mem);
// TRUE while the block is still locked after this call.
QWIN32_API BOOL GlobalUnlock(HGLOBAL mem);
// Null on success, the handle itself on failure.
QWIN32_API HGLOBAL GlobalFree(HGLOBAL mem);
QWIN32_API SIZE_T GlobalSize(HGLOBAL mem);

// One thread at a time has the clipboard open; the same thread may open it again.
QWIN32_API BOOL OpenClipboard(HWND owner);
QWIN32_API BOOL CloseClipboard();
QWIN32_API BOOL EmptyClipboard();
QWIN32_API BOOL IsClipboardFormatAvailable(UINT format);
// A handle owned by the clipboard, readable with GlobalLock until CloseClipboard.
QWIN32_API HANDLE GetClipboardData(UINT format);
// The clipboard takes the handle (the caller must not free it) and stores its text up
// to the first NUL. Returns the handle, or null when the clipboard is not open.
QWIN32_API HANDLE SetClipboardData(UINT format, HANDLE mem);
}

// Where the clipboard's text is kept. The built-in provider is a plain in-process store.
class QWIN32_API ClipboardProvider {
 public:
  virtual ~ClipboardProvider();
  // The current text, or nothing when the clipboard holds no text.
  virtual std::optional<std::string> GetText() = 0;
  virtual bool SetText(const std::string& text) = 0;
  virtual void Clear() = 0;
};

// Installs a provider (null restores the built-in store); returns the previous one.
QWIN32_API std::shared_ptr<ClipboardProvider> SetClipboardProvider(
    std::shared_ptr<ClipboardProvider> provider);
