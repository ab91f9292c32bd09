// Everything of the Win32 stand-ins in one include.
#pragma once

#include <win32/types.h>
#include <win32/constants.h>
#include <win32/errors.h>
#include <win32/module.h>
#include <win32/profile.h>
#include <win32/drives.h>
#include <win32/shell.h>
#include <win32/clipboard.h>
#include <win32/rect.h>
#include <win32/region.h>
#include <win32/winsurface.h>
