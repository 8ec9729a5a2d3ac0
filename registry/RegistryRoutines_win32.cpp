// The Windows build's default: the platform registry.

#include "RegistryRoutines.h"
#include "Win32RegistryStore.h"

namespace gt3 {

RegistryRoutines::RegistryRoutines() : store_(PlatformRegistryStore()) {}

}  // namespace gt3
