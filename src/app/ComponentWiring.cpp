#include "app/ComponentWiring.h"

#include "app/DistributionHost.h"
#include "app/HTTPDownloadClient.h"
#include "app/Main.h"
#include "app/ZipSetupArchive.h"
#include "http/IdSystemProxy.h"

void PlugInComponents(TMain& AMain) {
  AMain.CreateArchive = [] { return std::make_unique<TZipSetupArchive>(); };
  // Through the proxy the user's system settings name, as the system's own clients go.
  auto client = std::make_unique<THTTPDownloadClient>(CreateSystemProxyResolver());
  // The build's pace: each wait before a retry twice the one before.
  client->Retry.Waits.clear();
  const size_t waits = static_cast<size_t>(client->Retry.MaxAttempts - 1);
  for (int wait = RetryFirstWait(); client->Retry.Waits.size() < waits; wait *= 2)
    client->Retry.Waits.push_back(wait);
  AMain.HTTP = std::move(client);
  AMain.ConnectHTTP();
}
