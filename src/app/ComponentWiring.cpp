#include "app/ComponentWiring.h"

#include "app/Main.h"
#include "app/ZipSetupArchive.h"

void PlugInComponents(TMain& main) {
  main.CreateArchive = [] { return std::make_unique<TZipSetupArchive>(); };
  // Not plugged in yet: the HTTP client through its adapter, and the responsive-waiting
  // component that keeps the window alive while a socket call blocks. Until then the window
  // has no client, and the size probe reports its failure honestly.
  main.ConnectHTTP();
}
