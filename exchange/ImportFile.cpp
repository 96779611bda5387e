#include "exchange/ImportFile.h"

#include <cstring>

#include "platform/FileMapping.h"

namespace exchange {

ImportFileStatus ImportFile(CWaypointStore& store, const char16_t* pszPath, const ExchangeOptions& opts,
                            ImportResult& result, ImportFileInfo& info) {
  platform::CFileMapping mapping;
  if (!mapping.OpenRead(pszPath)) return ifsCannotOpen;
  const uint8_t* pb = mapping.Data();
  size_t cb = mapping.Size();
  if (const ExchangeFormat* pFormat = FindImportFormat(pb, cb)) {
    info.pFormat = pFormat;
    pFormat->pfnImport(store, pb, cb, opts, result);
    return ifsImported;
  }
  if (cb >= 2 && (std::memcmp(pb, "RW", 2) == 0 || std::memcmp(pb, "WR", 2) == 0)) {
    info.fStoreFile = true;
    StoreLoadResult r = store.Load(pb, cb, false);
    result.cWaypoints = int(store.CountWaypoints());
    result.cRoutes = int(store.CountRoutes());
    return r == slrDamaged ? ifsDamagedStore : ifsImported;
  }
  return ifsUnknownFormat;
}

ImportFileStatus ImportFileAs(const ExchangeFormat& format, CWaypointStore& store, const char16_t* pszPath,
                              const ExchangeOptions& opts, ImportResult& result) {
  platform::CFileMapping mapping;
  if (!mapping.OpenRead(pszPath)) return ifsCannotOpen;
  if (!format.pfnProbe || !format.pfnImport || !format.pfnProbe(mapping.Data(), mapping.Size()))
    return ifsUnknownFormat;
  format.pfnImport(store, mapping.Data(), mapping.Size(), opts, result);
  return ifsImported;
}

}  // namespace exchange
