#pragma once
// One device operation at a time: every public AT operation and every DIAG
// exchange holds this lock for its whole length (they share the current port).
#include <mutex>

std::recursive_mutex& DeviceOperationLock();
