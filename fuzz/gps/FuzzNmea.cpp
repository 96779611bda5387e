#include "fuzz/gps/ProtocolFuzzer.h"
#include "gps/NMEA0183.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pb, size_t cb) {
  NMEA0183 nmea(4800);
  FeedProtocol(nmea, pb, cb);
  return 0;
}
