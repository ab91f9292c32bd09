// Private-profile (INI) files with the Windows semantics: sections and keys compare
// without regard to letter case, blanks around names and values are trimmed, a value in
// matching quotes loses them, the first of duplicate sections or keys wins, CRLF and LF
// files are both read, and a malformed file never fails a read. Writes keep every other
// line of the file as it was and replace the file through a temporary file and a rename.
#pragma once

#include <win32/export.h>
#include <win32/types.h>

extern "C" {
// section null: the names of all sections; key null: the keys of the section. Lists
// are NUL-separated and end with an extra NUL; a list cut to the buffer ends with two
// NULs and the result is size-2. A single value cut to the buffer gives size-1.
// Otherwise the result is the number of characters copied, without the final NUL.
// A missing file, section or key yields the default (null = ""), its trailing blanks cut.
QWIN32_API DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue,
                                          LPSTR buffer, DWORD size, LPCSTR fileName);

// Every line of the section as "key=value", each ended by NUL, the list ended by an
// extra NUL; cut like the lists above (result size-2).
QWIN32_API DWORD GetPrivateProfileSectionA(LPCSTR section, LPSTR buffer, DWORD size,
                                           LPCSTR fileName);

// The decimal number at the start of the value (blanks and a sign allowed, 0 when there
// are no digits); the default when the key is missing or its value empty.
QWIN32_API UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT defaultValue,
                                      LPCSTR fileName);

// Sets key=value, creating file and section when missing. value null deletes the key,
// key null deletes the whole section. Names or values holding a line break (and keys
// holding '=', section names holding ']') are refused, since they would corrupt the
// file. Returns FALSE with the last error set when the file cannot be written.
QWIN32_API BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value,
                                           LPCSTR fileName);
}
