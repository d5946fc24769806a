#include "app/input_hold.h"

void CInputHold::Hold(CWnd* page, const int* ids, size_t count)
{
    if (!page)
        return;
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_nHolders++ > 0)
        return;
    m_inputs.clear();
    for (size_t i = 0; i < count; ++i) {
        CWnd* control = page->GetDlgItem(ids[i]);
        if (!control)
            continue;
        m_inputs.push_back({page, ids[i], control->IsWindowEnabled() != FALSE});
        control->EnableWindow(FALSE);
    }
}

void CInputHold::Release()
{
    std::vector<Input> inputs;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (m_nHolders == 0 || --m_nHolders > 0)
            return;
        inputs.swap(m_inputs);
    }
    for (const Input& input : inputs)
        if (CWnd* control = input.page->GetDlgItem(input.id))
            control->EnableWindow(input.enabled ? TRUE : FALSE);
}

void CInputHold::Enable(CWnd* page, int id, bool enabled)
{
    if (!page || Redirect(page, id, enabled))
        return;
    if (CWnd* control = page->GetDlgItem(id))
        control->EnableWindow(enabled ? TRUE : FALSE);
}

bool CInputHold::Redirect(const CWnd* page, int id, bool enabled)
{
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_nHolders == 0)
        return false;
    for (Input& input : m_inputs) {
        if (input.page == page && input.id == id) {
            input.enabled = enabled;
            return true;
        }
    }
    return false;
}
