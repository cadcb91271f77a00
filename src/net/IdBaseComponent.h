#pragma once

#include "base/Component.h"

// Roots of the connection layer's component tree. Each class sets its defaults when it is
// constructed, base classes first (member initialisers and constructor bodies run in that
// order, as a virtual ApplyDefaults chain would).
class TIdInitializerComponent : public TComponent {
 protected:
  TIdInitializerComponent() = default;
};

class TIdBaseComponent : public TIdInitializerComponent {
 protected:
  TIdBaseComponent() = default;
};
