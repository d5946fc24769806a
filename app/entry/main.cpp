#include "platform/ui/afx_app.h"

int main()
{
    return AfxWinMain();
}
