// Texts of the program: string resources looked up by id through the
// localisation module of the interface language, with a fixed fallback
// order (primary module, then the English module, then the placeholder).
#pragma once
#include <cstdarg>
#include <cstdint>

#include "platform/Module.h"

// The version text every module must carry as string 100.
extern const char16_t c_szResVersion[];
const uint32_t c_idsVersion = 100;

void LoadLanguage();
uint16_t GetLanguage();
platform::ResModule GetPrimaryModule();
platform::ResModule GetFallbackModule();
// The module file name formed for the language ("%04x.rll"); empty for 1049.
const char16_t* GetModuleName();

// The string in the primary module, else in the fallback module, else
// "<??%d>" with the id. Returns the buffer.
const char16_t* LoadResString(uint32_t id, char16_t* pszBuf, int cchBuf);
// The same into a 1024-character buffer, returned as an exact-length copy
// that the caller frees with delete[].
char16_t* LoadResStringAlloc(uint32_t id);
// Loads the format (at most 128 characters) and formats the arguments.
const char16_t* FormatResString(char16_t* pszBuf, int cchBuf, uint32_t id, ...);

// Shows a message (error icon, caption "VELMO"). The shell installs the real
// message box; natively the text goes to the debug output.
typedef void (*ResMessageHook)(const char16_t* pszText);
void SetResMessageHook(ResMessageHook pfn);
// Shows a ready text through the hook (the debug output without one).
void ShowResMessage(const char16_t* pszText);

// Forgets the loaded language (tests only: a fresh process loads it once).
void ResetLanguageForTests();
