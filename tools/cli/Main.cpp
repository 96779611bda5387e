#include <cstring>

#include "tools/cli/Cli.h"

static CliCommand* g_pCommands = nullptr;

void RegisterCliCommand(CliCommand* pCommand) {
  pCommand->pNext = g_pCommands;
  g_pCommands = pCommand;
}

static void Usage() {
  std::fprintf(stderr, "usage: velmo-cli COMMAND [ARGS]\ncommands:\n");
  for (CliCommand* p = g_pCommands; p; p = p->pNext) std::fprintf(stderr, "  %s %s\n", p->pszName, p->pszUsage);
}

int main(int argc, char** argv) {
  if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
    Usage();
    return argc < 2 ? 2 : 0;
  }
  for (CliCommand* p = g_pCommands; p; p = p->pNext)
    if (!std::strcmp(p->pszName, argv[1])) return p->pfnRun(argc - 1, argv + 1);
  std::fprintf(stderr, "velmo-cli: unknown command '%s'\n", argv[1]);
  Usage();
  return 2;
}
