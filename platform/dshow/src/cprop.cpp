#include "cprop.h"

#include <cwchar>

#include "win32/text.h"

CBasePropertyPage::CBasePropertyPage(LPCTSTR name, LPUNKNOWN pUnk, const TvDialogTemplate* dialog)
    : CUnknown(name, pUnk), m_pDialog(dialog)
{
}

CBasePropertyPage::~CBasePropertyPage()
{
    if (m_Dlg)
        TvDestroyDialog(m_Dlg);
    if (m_pPageSite)
        m_pPageSite->Release();
}

STDMETHODIMP CBasePropertyPage::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_IPropertyPage)
        return GetInterface(static_cast<IPropertyPage*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

// The last release disconnects the page first, so that the interfaces it took
// from its object are released by the page's own OnDisconnect.
STDMETHODIMP_(ULONG) CBasePropertyPage::NonDelegatingRelease()
{
    if (m_cRef == 1 && m_bObjectSet) {
        m_bObjectSet = FALSE;
        OnDisconnect();
    }
    return CUnknown::NonDelegatingRelease();
}

INT_PTR CBasePropertyPage::OnReceiveMessage(HWND, UINT, WPARAM, LPARAM)
{
    return 0;
}

INT_PTR CBasePropertyPage::DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, void* user)
{
    auto* page = static_cast<CBasePropertyPage*>(user);
    if (msg == WM_INITDIALOG)
        page->m_hwnd = page->m_Dlg = hwnd;
    const INT_PTR r = page->OnReceiveMessage(hwnd, msg, wParam, lParam);
    if (msg == WM_DESTROY)
        page->m_hwnd = page->m_Dlg = nullptr;
    return r;
}

void CBasePropertyPage::SetDirty()
{
    m_bDirty = TRUE;
    if (m_pPageSite)
        m_pPageSite->OnStatusChange(PROPPAGESTATUS_DIRTY);
}

STDMETHODIMP CBasePropertyPage::SetPageSite(IPropertyPageSite* site)
{
    if (site) {
        if (m_pPageSite)
            return E_UNEXPECTED;
        m_pPageSite = site;
        m_pPageSite->AddRef();
    } else {
        if (!m_pPageSite)
            return E_UNEXPECTED;
        m_pPageSite->Release();
        m_pPageSite = nullptr;
    }
    return S_OK;
}

STDMETHODIMP CBasePropertyPage::Activate(HWND, LPCRECT, BOOL)
{
    if (!m_pDialog)
        return E_UNEXPECTED;
    if (m_Dlg)
        return E_UNEXPECTED;
    if (!TvCreateDialog(m_pDialog, DialogProc, this, 0))
        return E_OUTOFMEMORY;
    // The page stays alive while its dialog exists.
    AddRef();
    const HRESULT hr = OnActivate();
    if (FAILED(hr)) {
        TvDestroyDialog(m_Dlg);
        Release();
        return hr;
    }
    return S_OK;
}

STDMETHODIMP CBasePropertyPage::Deactivate()
{
    if (!m_Dlg)
        return E_UNEXPECTED;
    const HRESULT hr = OnDeactivate();
    if (FAILED(hr))
        return hr;
    TvDestroyDialog(m_Dlg);
    Release();
    return S_OK;
}

STDMETHODIMP CBasePropertyPage::GetPageInfo(PROPPAGEINFO* info)
{
    if (!info)
        return E_POINTER;
    if (!m_pDialog)
        return E_UNEXPECTED;
    const std::wstring title = TvUtf8ToWide(m_pDialog->title);
    auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc((title.size() + 1) * sizeof(OLECHAR)));
    if (!copy)
        return E_OUTOFMEMORY;
    std::wmemcpy(copy, title.c_str(), title.size() + 1);
    info->cb = sizeof(PROPPAGEINFO);
    info->pszTitle = copy;
    // Dialog units of the "System" font: 4 x 8 units to a 8 x 16 pixel cell.
    info->size.cx = m_pDialog->cx * 2;
    info->size.cy = m_pDialog->cy * 2;
    info->pszDocString = nullptr;
    info->pszHelpFile = nullptr;
    info->dwHelpContext = 0;
    return S_OK;
}

STDMETHODIMP CBasePropertyPage::SetObjects(ULONG count, IUnknown** objects)
{
    if (count == 1) {
        if (!objects || !objects[0])
            return E_POINTER;
        if (m_bObjectSet) {
            m_bObjectSet = FALSE;
            OnDisconnect();
        }
        m_bDirty = FALSE;
        const HRESULT hr = OnConnect(objects[0]);
        if (SUCCEEDED(hr))
            m_bObjectSet = TRUE;
        return hr;
    }
    if (count == 0) {
        if (!m_bObjectSet)
            return S_OK;
        m_bObjectSet = FALSE;
        return OnDisconnect();
    }
    return E_UNEXPECTED;
}

STDMETHODIMP CBasePropertyPage::Show(UINT)
{
    return m_Dlg ? S_OK : E_UNEXPECTED;
}

STDMETHODIMP CBasePropertyPage::Move(LPCRECT rect)
{
    if (!rect)
        return E_POINTER;
    return m_Dlg ? S_OK : E_UNEXPECTED;
}

STDMETHODIMP CBasePropertyPage::IsPageDirty()
{
    return m_bDirty ? S_OK : S_FALSE;
}

STDMETHODIMP CBasePropertyPage::Apply()
{
    if (!m_bObjectSet)
        return E_UNEXPECTED;
    if (!m_bDirty)
        return S_OK;
    const HRESULT hr = OnApplyChanges();
    if (SUCCEEDED(hr))
        m_bDirty = FALSE;
    return hr;
}
