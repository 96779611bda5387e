// The shared receiver captures of the GPS tests: where they are, and a
// fixture that skips when they are not there.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "platform/File.h"
#include "platform/Str.h"
#include "settings/Settings.h"

namespace gpstest {

inline std::string CaptureDir() { return std::string(VELMO_SHARED_DATA) + "/gps"; }

class CaptureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!platform::IsDirectory(platform::Utf8ToU16(CaptureDir()).c_str()))
      GTEST_SKIP() << "the shared receiver captures are not there: " << CaptureDir();
    ResetAllSettings();
  }
  void TearDown() override { ResetAllSettings(); }
};

}  // namespace gpstest
