#pragma once
// The inputs a button's worker reads, disabled on the UI thread before the
// worker starts (so that no click can come in between) and given back when it
// ends. What the page itself decides for a held input meanwhile (Redirect) is
// kept and applied at the release instead of the state before the hold.
#include <mutex>
#include <vector>

#include "platform/ui/afx.h"

class CInputHold {
public:
    // Disables the enabled ones of ids on page; nothing when a hold is on.
    void Hold(CWnd* page, const int* ids, size_t count);
    template <size_t N>
    void Hold(CWnd* page, const int (&ids)[N])
    {
        Hold(page, ids, N);
    }
    // Gives every held input its state back.
    void Release();
    // True (and the state kept for the release) when id of page is held.
    bool Redirect(const CWnd* page, int id, bool enabled);

private:
    struct Input {
        CWnd* page;
        int id;
        bool enabled;
    };
    mutable std::mutex m_lock;
    bool m_bHeld = false;
    std::vector<Input> m_inputs;
};
