#include "app/ComponentWiring.h"

#include "app/HTTPDownloadClient.h"
#include "app/Main.h"
#include "app/ZipSetupArchive.h"

void PlugInComponents(TMain& AMain) {
  AMain.CreateArchive = [] { return std::make_unique<TZipSetupArchive>(); };
  AMain.HTTP = std::make_unique<THTTPDownloadClient>();
  AMain.ConnectHTTP();
}
