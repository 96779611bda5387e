// Registry keys: typed values (DWORD, SZ) under the roots the program uses.
// On Windows these are the real registry calls; natively a file-backed store
// with the same semantics and error codes serves tools and tests.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/WinTypes.h"

namespace platform {

typedef void* RegHandle;

enum RegRoot { rrCurrentUser, rrLocalMachine, rrClassesRoot };
RegHandle RegRootHandle(RegRoot root);

// Error codes (the Win32 values).
const LONG c_errSuccess = 0;
const LONG c_errFileNotFound = 2;
const LONG c_errInvalidHandle = 6;
const LONG c_errMoreData = 234;
const LONG c_errNoMoreItems = 259;
const LONG c_errInvalidParameter = 87;

// Value types (the Win32 values).
const DWORD c_regNone = 0;
const DWORD c_regSz = 1;
const DWORD c_regBinary = 3;
const DWORD c_regDword = 4;

LONG RegOpen(RegHandle hParent, const char16_t* pszSubkey, RegHandle* phKey);
LONG RegCreate(RegHandle hParent, const char16_t* pszSubkey, RegHandle* phKey);
LONG RegClose(RegHandle hKey);
// As RegQueryValueExW: pcbData in = buffer size, out = size of the value.
// pData may be null to ask only for type and size.
LONG RegQuery(RegHandle hKey, const char16_t* pszName, DWORD* pdwType, void* pData, DWORD* pcbData);
LONG RegSet(RegHandle hKey, const char16_t* pszName, DWORD dwType, const void* pData, DWORD cbData);
LONG RegRemoveValue(RegHandle hKey, const char16_t* pszName);
LONG RegDeleteKeyTree(RegHandle hParent, const char16_t* pszSubkey);
// As RegEnumValueW (the names differ from the Win32 ones, which are
// macros in <windows.h>): pcchName in = buffer length in characters.
LONG RegListValue(RegHandle hKey, DWORD dwIndex, char16_t* pszName, DWORD* pcchName);
LONG RegListKey(RegHandle hKey, DWORD dwIndex, char16_t* pszName, DWORD cchName);

// Native store only: the file that holds it (empty = in memory only, the
// default for tests). No effect on Windows.
void SetRegistryFile(const char* pszPath);
// Native store only: forget every key (tests).
void ResetRegistry();

}  // namespace platform
