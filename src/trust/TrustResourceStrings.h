#pragma once

// The fixed message texts of the trust checks: the archive's signature and the installer's
// publisher. Each is shown to the user as the run's failure.

// The signature file beside the archive.
inline constexpr const char* RSSignatureNotDownloaded =
    "The signature of the setup archive could not be downloaded; nothing was installed.\r\n\r\n%s";
inline constexpr const char* RSSignatureTooLarge =
    "The signature of the setup archive is larger than %d bytes; nothing was installed.";
inline constexpr const char* RSSignatureMalformed =
    "The signature of the setup archive is malformed (%s); nothing was installed.";
inline constexpr const char* RSSignatureOtherName =
    "The signature is for the setup archive \"%s\", not for \"%s\"; nothing was installed.";
inline constexpr const char* RSSignatureOtherSize =
    "The signature is for a setup archive of %lld bytes, but the server offers %lld bytes; "
    "nothing was installed.";
inline constexpr const char* RSSignatureUnknownKey =
    "The setup archive is signed with a key this program does not know; nothing was installed.";
inline constexpr const char* RSArchiveMismatch =
    "The setup archive does not match its signature; nothing was installed.";
// The program's own keys, built in, could not be read.
inline constexpr const char* RSArchiveKeysMalformed =
    "The archive keys built into this program are malformed (%s); nothing was installed.";

// What the malformed part of a signature file is, for RSSignatureMalformed.
inline constexpr const char* RSSignatureLine = "its \"%s\" line";
inline constexpr const char* RSSignatureLineEnds = "its line ends";
inline constexpr const char* RSSignatureAfterEnd = "text after its last line";

// The installer's Authenticode publisher.
inline constexpr const char* RSInstallerNotFromPublisher =
    "The installer is not signed by the publisher of this program.";

// The platform's libraries the checks use (Windows).
inline constexpr const char* RSTrustLibraryLoadError = "Error on loading the system library %s";
