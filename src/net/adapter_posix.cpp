// The portable build enumerates no adapters: nothing outside Windows runs
// discovery through this code.
#include "net/adapter.h"

namespace norvane {

std::vector<NetworkAdapter> list_adapters() { return {}; }

}  // namespace norvane
