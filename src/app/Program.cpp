// The program block of the Windows downloader.
#include <windows.h>

#include <exception>

#include "app/ComponentWiring.h"
#include "app/DllSearchPath.h"
#include "app/Main.h"
#include "base/FileSystem.h"
#include "base/Texts.h"
#include "base/Utf.h"

namespace {

// The last-chance report of an exception that escaped the program's start.
void ReportFatal(const std::string& AText) {
  ::MessageBoxW(nullptr, ToWide(AText).c_str(), ToWide(Text(RSCaptionError)).c_str(),
                MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Before anything loads a library.
  RestrictDllSearchPath();
  try {
    TApplication app(GetModuleFileName());
    app.Initialize();
    app.MainFormOnTaskBar = true;
    app.CreateForm(Main);
    PlugInComponents(*Main);
    app.Run();
  } catch (const Exception& e) {
    ReportFatal(ExceptionDisplayText(e));
    return 1;
  } catch (const std::exception& e) {
    ReportFatal(ExceptionDisplayText(Exception(e.what())));
    return 1;
  } catch (...) {
    return 1;
  }
  return 0;
}
