#include "support/single_instance.h"

namespace Utils {

void SingleInstance::Acquire() {
    if (!Held()) lock_.TryAcquire(MutexName());
}

}  // namespace Utils
