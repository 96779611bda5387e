#include "fuzz/gps/ProtocolFuzzer.h"
#include "gps/GarminProtocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pb, size_t cb) {
  GarminProtocol garmin;
  FeedProtocol(garmin, pb, cb);
  return 0;
}
