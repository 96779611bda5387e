// Entry point of the program.
#include "app/Crash.h"
#include "app/Shell.h"

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, LPWSTR pszCmdLine, int nShow) {
  g_hInstance = hInstance;
  InstallCrashHandlers();
  return RunProgram(pszCmdLine, nShow);
}
