// The program block of the Windows downloader.
#include <windows.h>

#include <shellapi.h>

#include <exception>

#include "app/CommandLine.h"
#include "app/ComponentWiring.h"
#include "app/RunOutcome.h"
#include "app/SetupProgram.h"
#include "app/platform/DllSearchPath.h"
#include "base/Exception.h"
#include "base/FileSystem.h"
#include "base/Texts.h"
#include "base/UniqueHandle.h"
#include "base/Utf.h"
#include "ui/Application.h"

namespace {

// The last-chance report of an exception that escaped the program's start.
void ReportFatal(const std::string& AText) {
  ::MessageBoxW(nullptr, ToWide(AText).c_str(), ToWide(Text(RSCaptionError)).c_str(),
                MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

// How the system started the program: its command line, split as every program splits it.
TProgramStart ProgramStart() {
  TProgramStart start;
  start.ProgramFile = GetModuleFileName();
  const wchar_t* commandLine = ::GetCommandLineW();
  start.CommandLine = FromWide(commandLine);
  int count = 0;
  const TUniqueHandle<TNullHandleTraits<LPWSTR*, ::LocalFree>> arguments(
      ::CommandLineToArgvW(commandLine, &count));
  // The first is the program's own name.
  for (int i = 1; arguments && i < count; ++i)
    start.Arguments.push_back(FromWide(arguments.get()[i]));
  start.LogFolder = GetTempFolder();
  return start;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Before anything loads a library.
  RestrictDllSearchPath();
  bool unattended = false;
  try {
    const TProgramStart start = ProgramStart();
    // Unattended, nobody would answer the last-chance box: the exit code alone tells.
    unattended = ParseCommandLine(start.Arguments).Unattended();
    return static_cast<int>(RunSetupProgram(start, PlugInComponents));
  } catch (const Exception& e) {
    if (!unattended) ReportFatal(ExceptionDisplayText(e));
  } catch (const std::exception& e) {
    if (!unattended) ReportFatal(ExceptionDisplayText(Exception(e.what())));
  } catch (...) {
  }
  return static_cast<int>(ExitCodes::ProgramFailed);
}
