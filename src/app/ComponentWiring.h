#pragma once

class TMain;

// Gives the window its HTTP client, archive reader and trust checks. This is the one place where
// the real components are plugged in (through small adapters to TDownloadClient and
// TSetupArchive).
void PlugInComponents(TMain& AMain);
