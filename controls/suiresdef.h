// The theme pictures of the skinned controls: every bitmap the theme table names,
// the pictures controls load by fixed names ("MACOS_COMBOBOX_BUTTON",
// "MACOS_FORM_BACKGROUND", "PROTEIN_FORM_BACKGROUND", "MACOS_MENU_BAR",
// "MACOS_MENU_SELECT", "SIDECHANNEL_BAR_NORMAL", "SIDECHANNEL_BAR_MOUSEON",
// "SIDECHANNEL_BTN_ONTOP", "SIDECHANNEL_BTN_NOONTOP"), "MENU_CHECKED" and the icon
// "MAINICON". They are BITMAP resources of the program, drawn at build time by
// artwork/make_theme_art from artwork/theme-pictures.txt and embedded with the
// controls library, so any program that links the library carries them. Load them
// by name with LoadBitmapResource or TBitmap::LoadFromResourceName (module 0).
#pragma once

#include <vcl/resources.h>
