// The running program and its resource modules.
#pragma once
#include <cstdint>
#include <string>

namespace platform {

// Full path of the program file, and its folder (without a trailing
// separator).
std::u16string GetProgramPath();
std::u16string GetProgramFolder();
// Root folder of the system drive ("C:" on Windows; natively the folder named
// by VELMO_ROOT_DIR or the temporary folder). No trailing separator.
std::u16string GetRootFolder();
// The user's documents folder.
std::u16string GetDocumentsFolder();

// A module that holds string resources: the program itself or a localisation
// module loaded by file name from the program's search path.
typedef void* ResModule;
ResModule GetSelfModule();
ResModule LoadResModule(const char16_t* pszFileName);  // null when it cannot be loaded
// Copies string id of the module into the buffer (always terminated);
// returns its length, 0 when the module has no such string.
int LoadModuleString(ResModule hModule, uint32_t id, char16_t* pszBuf, int cchBuf);

// The user's default interface language (GetUserDefaultLangID).
uint16_t GetUserDefaultLanguage();

}  // namespace platform

namespace platform {

// Native builds have no resource sections: the string tables generated from
// the resource scripts register here. pszName null registers the program's
// own table; otherwise the table stands for the module file of that name
// (it is used only when such a file exists beside the program). No effect on
// Windows, where the modules hold their own tables.
typedef int (*BuiltinStringLookup)(uint32_t id, char16_t* pszBuf, int cchBuf);
void RegisterBuiltinModule(const char16_t* pszName, BuiltinStringLookup pfn);

}  // namespace platform
