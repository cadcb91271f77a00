#include "app/ComponentWiring.h"

#include "app/DistributionHost.h"
#include "app/Main.h"
#include "app/ProxyCredentials.h"
#include "app/ZipSetupArchive.h"
#include "base/FileSystem.h"
#include "download/HTTPDownloadClient.h"
#include "http/proxy/IdSystemProxy.h"

void PlugInComponents(TMain& AMain) {
  AMain.CreateArchive = [] { return std::make_unique<TZipSetupArchive>(); };
  // Through the proxy the user's system settings name, as the system's own clients go.
  // A proxy that asks who the user is gets the signed-in user, the credentials kept for it, or
  // the user's answer in the system's dialog, owned by the window.
  // An unattended run (/quiet, /passive) asks nobody: kept credentials serve, nothing more.
  TMain* owner = &AMain;
  std::unique_ptr<TIdProxyCredentialProvider> credentials =
      CreateProxyCredentials(AMain.Caption(), [owner] { return owner->Handle(); });
  if (AMain.Mode != TRunMode::rmNormal) credentials = WithoutPrompt(std::move(credentials));
  auto client =
      std::make_unique<THTTPDownloadClient>(CreateSystemProxyResolver(), std::move(credentials));
  // What the client does on the network goes to the run's log.
  client->ReportTo(&AMain.Report);
  AMain.HTTP = std::move(client);
  AMain.ConnectHTTP();
  // Archives signed by the keys built in (none in development builds), and an installer from
  // the publisher that signed this program (when it is signed).
  AMain.ArchiveSignatures = std::make_unique<TArchiveSignatures>(ArchiveKeys());
  AMain.PublisherCheck = std::make_unique<TPublisherCheck>(GetModuleFileName());
}
