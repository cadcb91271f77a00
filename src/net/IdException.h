#pragma once

#include "base/Exception.h"

class EIdException : public Exception {
 public:
  using Exception::Exception;
};
