#include "device/device_lock.h"

std::recursive_mutex& DeviceOperationLock()
{
    static std::recursive_mutex lock;
    return lock;
}
