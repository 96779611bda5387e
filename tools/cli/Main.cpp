#include <cstring>

#include "tools/cli/Cli.h"

static CliCommand* g_pCommands = nullptr;

void RegisterCliCommand(CliCommand* pCommand) {
  pCommand->pNext = g_pCommands;
  g_pCommands = pCommand;
}

static void Usage(FILE* f) {
  std::fprintf(f, "usage: velmo-cli COMMAND [ARGS]\n       velmo-cli help COMMAND\ncommands:\n");
  for (CliCommand* p = g_pCommands; p; p = p->pNext) std::fprintf(f, "  %s %s\n", p->pszName, p->pszUsage);
}

static CliCommand* FindCommand(const char* pszName) {
  for (CliCommand* p = g_pCommands; p; p = p->pNext)
    if (!std::strcmp(p->pszName, pszName)) return p;
  return nullptr;
}

static void CommandHelp(const CliCommand* p) {
  std::printf("usage: velmo-cli %s%s%s\n", p->pszName, *p->pszUsage ? " " : "", p->pszUsage);
  if (p->pszHelp) std::printf("\n%s\n", p->pszHelp);
}

static bool IsHelpOption(const char* psz) { return !std::strcmp(psz, "--help") || !std::strcmp(psz, "-h"); }

int main(int argc, char** argv) {
  if (argc < 2) {
    Usage(stderr);
    return 2;
  }
  if (IsHelpOption(argv[1]) || (!std::strcmp(argv[1], "help") && argc == 2)) {
    Usage(stdout);
    return 0;
  }
  if (!std::strcmp(argv[1], "help")) {
    CliCommand* p = FindCommand(argv[2]);
    if (!p) {
      std::fprintf(stderr, "velmo-cli: unknown command '%s'\n", argv[2]);
      return 2;
    }
    CommandHelp(p);
    return 0;
  }
  CliCommand* p = FindCommand(argv[1]);
  if (!p) {
    std::fprintf(stderr, "velmo-cli: unknown command '%s'\n", argv[1]);
    Usage(stderr);
    return 2;
  }
  if (argc == 3 && IsHelpOption(argv[2])) {
    CommandHelp(p);
    return 0;
  }
  return p->pfnRun(argc - 1, argv + 1);
}
