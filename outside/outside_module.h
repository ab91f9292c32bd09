// What the module's object map needs from each class of the library: its creation
// function and its registration script. Every class of QuillOutside declares its pair here.
#pragma once

#include <com/com.h>

// Type library identifier of the QuillOutside classes (their IDispatch parts).
// {6C1E4A52-3F0B-4D8E-9A77-2B5C8E1D4F60}
inline constexpr GUID LIBID_QuillOutside = {
    0x6C1E4A52, 0x3F0B, 0x4D8E, {0x9A, 0x77, 0x2B, 0x5C, 0x8E, 0x1D, 0x4F, 0x60}};

namespace outside {

HRESULT CreateDvdInfObj(IUnknown* outer, REFIID iid, void** ppv);
extern const char kDvdInfObjRegistry[];
HRESULT CreateDvdDataObj(IUnknown* outer, REFIID iid, void** ppv);
extern const char kDvdDataObjRegistry[];

}  // namespace outside
