// SDL keys to the virtual keys the controls test in their key handlers.
#include "sdl_backend.h"

#include <vcl/messages.h>

namespace {

// Virtual keys beyond those the message header names.
constexpr unsigned kVkClear = 0x0C, kVkSnapshot = 0x2C, kVkHelp = 0x2F, kVkLWin = 0x5B,
                   kVkRWin = 0x5C, kVkApps = 0x5D, kVkNumpad0 = 0x60, kVkMultiply = 0x6A,
                   kVkAdd = 0x6B, kVkSubtract = 0x6D, kVkDecimal = 0x6E, kVkDivide = 0x6F,
                   kVkNumLock = 0x90, kVkScroll = 0x91, kVkOem1 = 0xBA, kVkOemPlus = 0xBB,
                   kVkOemComma = 0xBC, kVkOemMinus = 0xBD, kVkOemPeriod = 0xBE, kVkOem2 = 0xBF,
                   kVkOem3 = 0xC0, kVkOem4 = 0xDB, kVkOem5 = 0xDC, kVkOem6 = 0xDD, kVkOem7 = 0xDE,
                   kVkOem102 = 0xE2;

// Keypad keys with Num Lock off act as the navigation keys printed on them.
unsigned KeypadNavigation(SDL_Keycode key) {
  switch (key) {
    case SDLK_KP_0: return VK_INSERT;
    case SDLK_KP_1: return VK_END;
    case SDLK_KP_2: return VK_DOWN;
    case SDLK_KP_3: return VK_NEXT;
    case SDLK_KP_4: return VK_LEFT;
    case SDLK_KP_5: return kVkClear;
    case SDLK_KP_6: return VK_RIGHT;
    case SDLK_KP_7: return VK_HOME;
    case SDLK_KP_8: return VK_UP;
    case SDLK_KP_9: return VK_PRIOR;
    case SDLK_KP_PERIOD: return VK_DELETE;
    default: return 0;
  }
}

}  // namespace

unsigned SdlKeyToVirtualKey(SDL_Keycode key, Uint16 mod) {
  if (key >= SDLK_a && key <= SDLK_z) return 'A' + static_cast<unsigned>(key - SDLK_a);
  if (key >= SDLK_0 && key <= SDLK_9) return '0' + static_cast<unsigned>(key - SDLK_0);
  if (key >= SDLK_F1 && key <= SDLK_F12) return VK_F1 + static_cast<unsigned>(key - SDLK_F1);
  if (key >= SDLK_F13 && key <= SDLK_F24) return VK_F12 + 1 + static_cast<unsigned>(key - SDLK_F13);
  if ((key >= SDLK_KP_1 && key <= SDLK_KP_0) || key == SDLK_KP_PERIOD) {
    if (!(mod & KMOD_NUM)) return KeypadNavigation(key);
    if (key == SDLK_KP_PERIOD) return kVkDecimal;
    // SDL orders the keypad digits 1..9, 0.
    return key == SDLK_KP_0 ? kVkNumpad0 : kVkNumpad0 + 1 + static_cast<unsigned>(key - SDLK_KP_1);
  }
  switch (key) {
    case SDLK_BACKSPACE: return VK_BACK;
    case SDLK_TAB: return VK_TAB;
    case SDLK_RETURN:
    case SDLK_RETURN2:
    case SDLK_KP_ENTER: return VK_RETURN;
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_SPACE: return VK_SPACE;
    case SDLK_PAGEUP: return VK_PRIOR;
    case SDLK_PAGEDOWN: return VK_NEXT;
    case SDLK_END: return VK_END;
    case SDLK_HOME: return VK_HOME;
    case SDLK_LEFT: return VK_LEFT;
    case SDLK_UP: return VK_UP;
    case SDLK_RIGHT: return VK_RIGHT;
    case SDLK_DOWN: return VK_DOWN;
    case SDLK_INSERT: return VK_INSERT;
    case SDLK_DELETE: return VK_DELETE;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT: return VK_SHIFT;
    case SDLK_LCTRL:
    case SDLK_RCTRL: return VK_CONTROL;
    case SDLK_LALT:
    case SDLK_RALT: return VK_MENU;
    case SDLK_LGUI: return kVkLWin;
    case SDLK_RGUI: return kVkRWin;
    case SDLK_APPLICATION:
    case SDLK_MENU: return kVkApps;
    case SDLK_PAUSE: return VK_PAUSE;
    case SDLK_CAPSLOCK: return VK_CAPITAL;
    case SDLK_NUMLOCKCLEAR: return kVkNumLock;
    case SDLK_SCROLLLOCK: return kVkScroll;
    case SDLK_PRINTSCREEN: return kVkSnapshot;
    case SDLK_HELP: return kVkHelp;
    case SDLK_CLEAR: return kVkClear;
    case SDLK_KP_MULTIPLY: return kVkMultiply;
    case SDLK_KP_PLUS: return kVkAdd;
    case SDLK_KP_MINUS: return kVkSubtract;
    case SDLK_KP_DIVIDE: return kVkDivide;
    case SDLK_SEMICOLON: return kVkOem1;
    case SDLK_EQUALS: return kVkOemPlus;
    case SDLK_COMMA: return kVkOemComma;
    case SDLK_MINUS: return kVkOemMinus;
    case SDLK_PERIOD: return kVkOemPeriod;
    case SDLK_SLASH: return kVkOem2;
    case SDLK_BACKQUOTE: return kVkOem3;
    case SDLK_LEFTBRACKET: return kVkOem4;
    case SDLK_BACKSLASH: return kVkOem5;
    case SDLK_RIGHTBRACKET: return kVkOem6;
    case SDLK_QUOTE: return kVkOem7;
    case SDLK_LESS: return kVkOem102;
    default: return 0;
  }
}

unsigned SdlKeyControlChar(SDL_Keycode key, Uint16 mod) {
  const bool ctrl = (mod & KMOD_CTRL) != 0, alt = (mod & KMOD_ALT) != 0;
  if (alt) return 0;
  switch (key) {
    case SDLK_BACKSPACE: return ctrl ? 0x7F : 0x08;
    case SDLK_RETURN:
    case SDLK_RETURN2:
    case SDLK_KP_ENTER: return ctrl ? 0x0A : 0x0D;
    case SDLK_ESCAPE: return 0x1B;
    case SDLK_TAB: return ctrl ? 0 : 0x09;
    default: break;
  }
  if (ctrl && key >= SDLK_a && key <= SDLK_z) return 1 + static_cast<unsigned>(key - SDLK_a);
  return 0;
}
