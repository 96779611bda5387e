#include "fuzz/gps/ProtocolFuzzer.h"
#include "gps/SiRFProtocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pb, size_t cb) {
  SiRFProtocol sirf;
  FeedProtocol(sirf, pb, cb);
  return 0;
}
