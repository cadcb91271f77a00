#pragma once

// Entry names as Windows will read them. The extractor writes every entry under its name, so a
// name that Windows reads otherwise than the archive means it (a device, a stream of another
// file, a name it trims, another entry's file) must be caught before anything is created.

#include <optional>
#include <string>
#include <string_view>

#include "base/Texts.h"
#include "zip/ZipHeader.h"

// The entry's name for messages: decoded as its header says, with bytes that are not valid
// UTF-8 and control characters shown as U+FFFD.
std::string PrintableEntryName(const TZipHeader& AHeader);

// True when the header flags its name as UTF-8 and the name is not.
bool HasUndecodableName(const TZipHeader& AHeader);

// What is wrong with an entry name (with "\" separators) that Windows would misread, as the
// message about the entry (RSZipEntryDeviceName ...), or nothing when it reads as written: a device
// name (CON, PRN, AUX, NUL, COM1-9, LPT1-9, CONIN$, CONOUT$) as a folder or file name, with or
// without an extension; a ":" (alternate data streams); a segment ending in a dot or a space,
// which Windows drops; a control character; a wildcard ("*", "?"). A segment "." is fine:
// Windows and the extractor both drop it.
std::optional<TTextId> MisreadNameProblem(std::string_view AName);

// The file that an entry name (with "\" separators) stands for on Windows, as a key that is the
// same for two names when they name one file: empty and "." segments dropped, letters folded to
// one case as the file system folds them (ASCII, Latin-1, Latin Extended-A, Greek, Cyrillic,
// Armenian and the full-width Latin letters; other characters compare as they are).
std::u16string WindowsNameKey(std::string_view AName);

// A folder entry that DOS and Windows archivers mark by the directory attribute alone, without
// a trailing "/".
bool IsFolderByAttribute(const TZipHeader& AHeader);
