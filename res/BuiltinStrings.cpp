// Native builds: the program's own string table and the English module's
// stand in for the resource sections Windows would read.
#include "platform/Module.h"

int LookupBuiltinRu(uint32_t id, char16_t* pszBuf, int cchBuf);
int LookupBuiltinEn(uint32_t id, char16_t* pszBuf, int cchBuf);

void RegisterBuiltinStringTables() {
  platform::RegisterBuiltinModule(nullptr, LookupBuiltinRu);
  platform::RegisterBuiltinModule(u"0409.rll", LookupBuiltinEn);
}
