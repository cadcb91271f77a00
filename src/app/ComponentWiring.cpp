#include "app/ComponentWiring.h"

#include "app/Main.h"

void PlugInComponents(TMain& main) {
  // Not plugged in yet: the HTTP client and the ZIP reader, each through its adapter, and the
  // responsive-waiting component that keeps the window alive while a socket call blocks.
  // Until then the window has no client, and the size probe reports its failure honestly.
  main.ConnectHTTP();
}
