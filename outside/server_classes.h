// The classes of QuillOutside as the module's object map sees them: the type library
// identifier of their IDispatch parts and each class's creation function.
#pragma once

#include <com/com.h>

// Type library identifier of the QuillOutside classes (their IDispatch parts).
// {6C1E4A52-3F0B-4D8E-9A77-2B5C8E1D4F60}
inline constexpr GUID LIBID_QuillOutside = {
    0x6C1E4A52, 0x3F0B, 0x4D8E, {0x9A, 0x77, 0x2B, 0x5C, 0x8E, 0x1D, 0x4F, 0x60}};

namespace outside {

// The DVD side.
HRESULT CreateDvdInfObj(IUnknown* outer, REFIID iid, void** ppv);
HRESULT CreateDvdDataObj(IUnknown* outer, REFIID iid, void** ppv);
// The encoder side.
HRESULT CreateMpegEnc(IUnknown* outer, REFIID iid, void** ppv);
HRESULT CreateAviEncode(IUnknown* outer, REFIID iid, void** ppv);
HRESULT CreatePicShowObj(IUnknown* outer, REFIID iid, void** ppv);

}  // namespace outside
