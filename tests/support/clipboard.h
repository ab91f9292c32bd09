// Puts text on the clipboard and reads it back as the program's own code sees it.
// Header only: it needs the qwin32 library, which only the tests that use it link.
#pragma once

#include <win32/clipboard.h>

#include <cstring>
#include <string>

namespace quill_test {

// False when the clipboard cannot be opened (another thread holds it).
inline bool SetClipboardText(const std::string& text) {
  if (!OpenClipboard(nullptr)) return false;
  EmptyClipboard();
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
  std::memcpy(GlobalLock(h), text.c_str(), text.size() + 1);
  GlobalUnlock(h);
  SetClipboardData(CF_TEXT, h);
  CloseClipboard();
  return true;
}

// "" when the clipboard holds no text or cannot be opened.
inline std::string ClipboardText() {
  std::string text;
  if (OpenClipboard(nullptr)) {
    if (HANDLE h = GetClipboardData(CF_TEXT)) {
      if (const char* p = static_cast<const char*>(GlobalLock(h))) text = p;
      GlobalUnlock(h);
    }
    CloseClipboard();
  }
  return text;
}

}  // namespace quill_test
