#include "app/ComponentWiring.h"

#include "app/HTTPDownloadClient.h"
#include "app/Main.h"
#include "app/ZipSetupArchive.h"

void PlugInComponents(TMain& main) {
  main.CreateArchive = [] { return std::make_unique<TZipSetupArchive>(); };
  main.HTTP = std::make_unique<THTTPDownloadClient>();
  main.ConnectHTTP();
}
