// Opens a file and takes into the store whatever waypoints and routes it
// holds: any importable exchange file, or a store file (Waypoints.bin).
#pragma once
#include <cstdint>

#include "exchange/Exchange.h"

namespace exchange {

enum ImportFileStatus {
  ifsImported,       // see the result for counts and the message
  ifsCannotOpen,     // message 2001
  ifsUnknownFormat,  // no importer accepts the file
  ifsDamagedStore,   // a store file that is damaged: message 2130 (what was whole is loaded)
};

struct ImportFileInfo {
  const ExchangeFormat* pFormat = nullptr;  // the importer used; null for a store file
  bool fStoreFile = false;
};

ImportFileStatus ImportFile(CWaypointStore& store, const char16_t* pszPath, const ExchangeOptions& opts,
                            ImportResult& result, ImportFileInfo& info);

// The import dialogs: the file is read through the chosen format only (its
// probe must accept it).
ImportFileStatus ImportFileAs(const ExchangeFormat& format, CWaypointStore& store, const char16_t* pszPath,
                              const ExchangeOptions& opts, ImportResult& result);

}  // namespace exchange
