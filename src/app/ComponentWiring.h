#pragma once

class TMain;

// Gives the window its HTTP client, archive reader and trust checks. This is the one place where
// the real components are plugged in (through small adapters to TDownloadClient and
// TSetupArchive). The window's Mode decides whether the proxy's sign-in may ask the user; the
// client reports to the window's Report.
void PlugInComponents(TMain& AMain);
