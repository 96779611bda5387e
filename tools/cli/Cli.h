// velmo-cli: one command-line program over the core. Each Cmd*.cpp file of
// this folder registers one subcommand with VELMO_CLI_COMMAND.
#pragma once
#include <cstdio>

struct CliCommand {
  const char* pszName;
  const char* pszUsage;  // arguments after the name, for the help text
  int (*pfnRun)(int argc, char** argv);  // argv[0] is the subcommand name
  CliCommand* pNext;
  const char* pszHelp = nullptr;  // what the command does, for `help COMMAND`
};

// Links the command into the list (called by static registration objects;
// touches nothing but the command itself).
void RegisterCliCommand(CliCommand* pCommand);

struct CliRegistration {
  explicit CliRegistration(CliCommand* p) { RegisterCliCommand(p); }
};

struct CliHelpRegistration {
  CliHelpRegistration(CliCommand* p, const char* pszHelp) { p->pszHelp = pszHelp; }
};

// Every command reports errors and messages on standard error and ends with
// a non-zero status when it did not do what was asked; `velmo-cli help NAME`
// and `velmo-cli NAME --help` print its usage and the text given here.
#define VELMO_CLI_COMMAND(ident, name, usage, fn)          \
  static CliCommand s_cmd_##ident = {name, usage, fn, nullptr}; \
  static CliRegistration s_reg_##ident(&s_cmd_##ident)

// Describes a command registered above in the same file.
#define VELMO_CLI_HELP(ident, text) static CliHelpRegistration s_help_##ident(&s_cmd_##ident, text)
