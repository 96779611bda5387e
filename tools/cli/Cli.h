// velmo-cli: one command-line program over the core. Each Cmd*.cpp file of
// this folder registers one subcommand with VELMO_CLI_COMMAND.
#pragma once
#include <cstdio>

struct CliCommand {
  const char* pszName;
  const char* pszUsage;  // arguments after the name, for the help text
  int (*pfnRun)(int argc, char** argv);  // argv[0] is the subcommand name
  CliCommand* pNext;
};

// Links the command into the list (called by static registration objects;
// touches nothing but the command itself).
void RegisterCliCommand(CliCommand* pCommand);

struct CliRegistration {
  explicit CliRegistration(CliCommand* p) { RegisterCliCommand(p); }
};

#define VELMO_CLI_COMMAND(ident, name, usage, fn)          \
  static CliCommand s_cmd_##ident = {name, usage, fn, nullptr}; \
  static CliRegistration s_reg_##ident(&s_cmd_##ident)
