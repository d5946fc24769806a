#pragma once
// The inputs a button's worker reads, disabled on the UI thread before the
// worker starts (so that no click can come in between) and given back when it
// ends. What the page itself decides for a held input meanwhile (Redirect) is
// kept and applied at the release instead of the state before the hold.
// Holds are counted: a second holder (a search and a page read) keeps the
// inputs as the first one took them, and the last release gives them back.
#include <mutex>
#include <vector>

#include "platform/ui/afx.h"

class CInputHold {
public:
    // Disables ids on page; when a hold is on already, only counts this one.
    void Hold(CWnd* page, const int* ids, size_t count);
    template <size_t N>
    void Hold(CWnd* page, const int (&ids)[N])
    {
        Hold(page, ids, N);
    }
    // Gives every held input its state back at the last release.
    void Release();
    // True (and the state kept for the release) when id of page is held.
    bool Redirect(const CWnd* page, int id, bool enabled);
    // Enables or disables id of page now, or at the release when it is held.
    void Enable(CWnd* page, int id, bool enabled);

private:
    struct Input {
        CWnd* page;
        int id;
        bool enabled;
    };
    mutable std::mutex m_lock;
    int m_nHolders = 0;
    std::vector<Input> m_inputs;
};
