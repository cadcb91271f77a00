#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/UniqueHandle.h"

// A file written only at its end, that others may read, and rename or remove, while it is open:
// a log that the user can open in an editor while the program still writes it. Nothing here
// raises: a file that cannot be opened or written simply takes nothing.
class TAppendFile {
 public:
  enum class TOpen {
    ofAppend,     // creates the file when it is missing, else writes after what it holds
    ofCreateNew,  // creates the file; fails when one of that name exists
  };

  TAppendFile() = default;
  TAppendFile(const std::string& APath, TOpen AOpen);

  bool IsOpen() const { return FHandle.valid(); }
  // Writes all of the bytes through to the system at once (nothing is kept back in the
  // program). False when they could not all be written.
  bool Append(std::string_view ABytes);
  // The system's error of a failed open (0 after a successful one).
  int OpenError() const { return FOpenError; }

 private:
  struct TTraits {
#ifdef _WIN32
    using Type = void*;
    static Type Invalid() {
      return reinterpret_cast<void*>(static_cast<intptr_t>(-1));
    }
#else
    using Type = int;
    static Type Invalid() {
      return -1;
    }
#endif
    static void Close(Type AHandle);
  };
  TUniqueHandle<TTraits> FHandle;
  int FOpenError = 0;
};
