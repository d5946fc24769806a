#include "app/port_operation.h"

namespace {

// Operations nest (a Read inside a worker): the outermost one owns the flag.
thread_local int t_operationDepth = 0;
thread_local bool t_portGone = false;

}  // namespace

CPortOperation::CPortOperation()
{
    if (t_operationDepth++ == 0)
        t_portGone = false;
}

CPortOperation::~CPortOperation()
{
    if (--t_operationDepth == 0)
        t_portGone = false;
}

bool CPortOperation::PortGone() { return t_operationDepth > 0 && t_portGone; }

int OpenATPortInOperation(CMarlPortManager& ports)
{
    if (CPortOperation::PortGone())
        return 1;
    int status = ports.OpenATPort();
    if (status != 0 && t_operationDepth > 0)
        t_portGone = true;
    return status;
}
