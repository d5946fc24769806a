#pragma once
// One Read, Apply or page operation of a tool, run on one thread. While a
// CPortOperation lives on a thread, the first AT port opening that fails marks
// the port gone and every later opening on that thread fails at once: an
// unplugged modem costs one port search, not one per step, and the operation
// fails once with its usual message. The next operation searches again.
#include "device/port_manager.h"

class CPortOperation {
public:
    CPortOperation();
    ~CPortOperation();
    CPortOperation(const CPortOperation&) = delete;
    CPortOperation& operator=(const CPortOperation&) = delete;

    // True once an opening failed within the operation on this thread.
    static bool PortGone();
};

// OpenATPort of ports, unless the operation of this thread already lost the port.
int OpenATPortInOperation(CMarlPortManager& ports);

// A port manager whose OpenATPort follows the operation of the calling thread.
class COperationPortManager : public CMarlPortManager {
public:
    int OpenATPort() { return OpenATPortInOperation(*this); }
};
