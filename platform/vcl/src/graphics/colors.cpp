// System colours: the classic Windows scheme, so that themed pictures drawn for it
// look as intended.
#include <vcl/graphics.h>

DWORD GetSysColor(int index) {
  // 0x00BBGGRR
  static const DWORD kColors[] = {
      0xC8D0D4,  // COLOR_SCROLLBAR
      0xA56E3A,  // COLOR_BACKGROUND
      0x6A240A,  // COLOR_ACTIVECAPTION
      0x808080,  // COLOR_INACTIVECAPTION
      0xC8D0D4,  // COLOR_MENU
      0xFFFFFF,  // COLOR_WINDOW
      0x000000,  // COLOR_WINDOWFRAME
      0x000000,  // COLOR_MENUTEXT
      0x000000,  // COLOR_WINDOWTEXT
      0xFFFFFF,  // COLOR_CAPTIONTEXT
      0xC8D0D4,  // COLOR_ACTIVEBORDER
      0xC8D0D4,  // COLOR_INACTIVEBORDER
      0x808080,  // COLOR_APPWORKSPACE
      0x6A240A,  // COLOR_HIGHLIGHT
      0xFFFFFF,  // COLOR_HIGHLIGHTTEXT
      0xC8D0D4,  // COLOR_BTNFACE
      0x808080,  // COLOR_BTNSHADOW
      0x808080,  // COLOR_GRAYTEXT
      0x000000,  // COLOR_BTNTEXT
      0xC8D0D4,  // COLOR_INACTIVECAPTIONTEXT
      0xFFFFFF,  // COLOR_BTNHIGHLIGHT
      0x404040,  // COLOR_3DDKSHADOW
      0xC8D0D4,  // COLOR_3DLIGHT
      0x000000,  // COLOR_INFOTEXT
      0xE1FFFF,  // COLOR_INFOBK
      0xB5B5B5,  // 25: unused
      0x800000,  // COLOR_HOTLIGHT
      0xF0CAA6,  // COLOR_GRADIENTACTIVECAPTION
      0xC0C0C0,  // COLOR_GRADIENTINACTIVECAPTION
      0x6A240A,  // COLOR_MENUHILIGHT
      0xC8D0D4,  // COLOR_MENUBAR
  };
  if (index < 0 || index >= static_cast<int>(sizeof(kColors) / sizeof(kColors[0]))) return 0;
  return kColors[index];
}

TColor ColorToRGB(TColor color) {
  if (color < 0) return static_cast<TColor>(GetSysColor(color & 0xFF));
  if (color == clNone) return clBlack;
  if (color == clDefault) return clBlack;
  return color & 0xFFFFFF;
}
