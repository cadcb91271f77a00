#pragma once

// The texts the download shows while it retries and resumes, in one place.

// The status line while the next attempt is waited for: seconds left, the attempt to come, and
// the attempts in all. After a lost connection, and after an answer that asked to come back.
inline constexpr const char* RSRetryConnectionLost =
    "Connection lost. Retrying in %d s (attempt %d of %d)...";
inline constexpr const char* RSRetryServerBusy =
    "Server busy. Retrying in %d s (attempt %d of %d)...";

// A resumed download whose answer cannot continue the bytes held (once they were thrown away
// and the download began again, a second such answer ends it).
inline constexpr const char* RSResumeRangeRefused =
    "The server refused to continue the download at byte %lld (%s).";
inline constexpr const char* RSResumeWrongRange =
    "The server sent another part of the archive than asked for (\"%s\" instead of bytes "
    "%lld-%lld/%lld).";
inline constexpr const char* RSResumeNotAsked =
    "The server sent a part of the archive (\"%s\") when the whole was asked for.";
inline constexpr const char* RSResumeChanged =
    "The archive changed on the server while it was being downloaded.";
