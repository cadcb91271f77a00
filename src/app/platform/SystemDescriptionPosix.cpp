#include <sys/utsname.h>

#include "app/platform/SystemDescription.h"

std::string SystemDescription() {
  utsname name{};
  if (::uname(&name) != 0) return "unknown";
  return std::string(name.sysname) + " " + name.release + " " + name.machine;
}
