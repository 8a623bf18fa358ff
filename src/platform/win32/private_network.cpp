#include "platform/private_network.h"

#include <cstdlib>
#include <cstring>

namespace velkarin::platform {

// Wine sees no Linux interfaces; the namespace runner marks the environment.
bool InPrivateNetwork() {
  const char* mark = std::getenv("VELKARIN_IN_NETNS");
  return mark != nullptr && std::strcmp(mark, "1") == 0;
}

}  // namespace velkarin::platform
