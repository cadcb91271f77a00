#include "base/Exception.h"

const Exception& Exception::GetBaseException() const noexcept {
  const Exception* e = this;
  while (e->FInner)
    e = e->FInner.get();
  return *e;
}
