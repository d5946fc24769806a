#pragma once
// One device operation at a time: every public AT operation and every DIAG
// exchange holds this lock for its whole length (they share the current port).
//
// Lock order, for every thread: this device lock first, then a port
// manager's open lock, then its listing lock (CMarlPortManager), then the
// port library's own locks. OpenATPort takes the device lock itself before
// its open lock, because SetATPort needs the device lock while the open lock
// is held; a caller that holds the device lock (the VX520 dialog) nests.
#include <mutex>

std::recursive_mutex& DeviceOperationLock();
