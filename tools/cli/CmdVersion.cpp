#include "res/Res.h"
#include "platform/Str.h"
#include "tools/cli/Cli.h"

static int RunVersion(int, char**) {
  std::printf("velmo-cli %s\n", platform::U16ToUtf8(c_szResVersion).c_str());
  return 0;
}

VELMO_CLI_COMMAND(version, "version", "", RunVersion);
VELMO_CLI_HELP(version,
               "Prints the program version.");
