#include "app/ComponentWiring.h"

#include "app/HTTPDownloadClient.h"
#include "app/Main.h"
#include "app/ZipSetupArchive.h"
#include "http/proxy/IdSystemProxy.h"

void PlugInComponents(TMain& AMain) {
  AMain.CreateArchive = [] { return std::make_unique<TZipSetupArchive>(); };
  // Through the proxy the user's system settings name, as the system's own clients go.
  AMain.HTTP = std::make_unique<THTTPDownloadClient>(CreateSystemProxyResolver());
  AMain.ConnectHTTP();
}
