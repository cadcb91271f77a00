#pragma once

// The texts the user sees that the command line, the log's details, the failure dialogs and the
// exit codes brought, one constant each, so that they can move into the resources together.
// The log's own lines are for support staff and stay in the code that writes them.

// The usage, shown by "/?" and after a command line that cannot be read ("%s": the program's
// file name).
inline constexpr const char* kUsageText =
    "Usage: %s [/quiet | /passive] [/log <file>] [-- <installer parameters>]\r\n"
    "\r\n"
    "/quiet\tNo window and no dialog; the exit code and the log tell what happened.\r\n"
    "/passive\tThe window with its progress, but no dialog; the run ends by itself.\r\n"
    "/log <file>\tWrites the log to <file> (also /log=<file>). Without it the log goes to the\r\n"
    "\ttemporary folder as Plenwick-setup-<date>-<time>.log; the newest 10 are kept.\r\n"
    "/?\tShows this help.\r\n"
    "--\tEverything after it is passed to the installer as its parameters.\r\n"
    "\r\n"
    "Exit codes:\r\n"
    "%s";
// One line of the usage's exit code table: the code and what it means.
inline constexpr const char* kUsageExitCode = "%s\t%s\r\n";
// The row of the installer's own codes.
inline constexpr const char* kUsageOtherCode = "other";
// What a command line that cannot be read gets, above the usage.
inline constexpr const char* kUnknownSwitch = "The switch \"%s\" is not known.";
inline constexpr const char* kUnexpectedArgument =
    "\"%s\" is no switch; parameters for the installer go after \"--\".";
inline constexpr const char* kLogNeedsFile = "The switch \"%s\" needs a file name.";
// The caption of the usage's message box.
inline constexpr const char* kUsageCaption = "Plenwick Suite Setup";

// What the exit codes mean, for the usage and the log.
inline constexpr const char* kExitInstallerSucceeded = "The installer ended with 0: installed.";
inline constexpr const char* kExitInstallerCode = "The installer's own exit code, passed on.";
inline constexpr const char* kExitUserClosed = "The window was closed before the end.";
inline constexpr const char* kExitElevationRefused = "Permission to install was refused.";
inline constexpr const char* kExitProbeFailed = "The distribution server could not be reached.";
inline constexpr const char* kExitDownloadFailed = "The download failed.";
inline constexpr const char* kExitArchiveRefused =
    "The setup archive was refused: damaged, or not signed as it must be.";
inline constexpr const char* kExitDiskFailure =
    "The setup folder could not be made, filled or cleaned up.";
inline constexpr const char* kExitLaunchFailed = "The installer could not be started.";
inline constexpr const char* kExitBadCommandLine = "The command line could not be read.";
inline constexpr const char* kExitUsageShown = "The usage was shown.";
inline constexpr const char* kExitProgramFailed = "The downloader itself failed at its start.";

// Where the archive was expected, a web page came: the sign-in page of a public network, a
// proxy's notice.
inline constexpr const char* kWebPageInstead =
    "The network returned a web page instead of the setup archive. You may need to sign in to "
    "the network first.";

// The failure dialogs: the button that runs the download again, and the expandable details.
inline constexpr const char* kTryAgain = "Try again";
inline constexpr const char* kDetails = "Details";
inline constexpr const char* kDetailsCause = "Cause: %s";
inline constexpr const char* kDetailsAddress = "Address: %s";
inline constexpr const char* kDetailsProxy = "Proxy: %s";
inline constexpr const char* kDetailsNoProxy = "none, a direct connection";
inline constexpr const char* kDetailsLastAnswer = "Last answer: %s";
inline constexpr const char* kDetailsLog = "Log: %s";
inline constexpr const char* kDetailsNoLog = "Log: none could be written.";
