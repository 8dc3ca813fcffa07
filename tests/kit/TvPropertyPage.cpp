#include "TvPropertyPage.h"

#include <gtest/gtest.h>

STDMETHODIMP CTestPageSite::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IPropertyPageSite) {
        *ppv = static_cast<IPropertyPageSite*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP CTestPageSite::OnStatusChange(DWORD flags)
{
    if (flags & PROPPAGESTATUS_DIRTY)
        ++m_dirty;
    return S_OK;
}

STDMETHODIMP CTestPageSite::GetLocaleID(LCID* locale)
{
    if (!locale)
        return E_POINTER;
    *locale = 0x0804;
    return S_OK;
}

STDMETHODIMP CTestPageSite::GetPageContainer(IUnknown** container)
{
    if (container)
        *container = nullptr;
    return E_NOTIMPL;
}

HRESULT TvPageUnderTest::Open(REFCLSID page, IUnknown* object)
{
    Close();
    HRESULT hr = CoCreateInstance(page, nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyPage,
                                  reinterpret_cast<void**>(&m_page));
    if (FAILED(hr))
        return hr;
    m_page->SetPageSite(&m_site);
    hr = m_page->SetObjects(1, &object);
    if (FAILED(hr))
        return hr;
    m_connected = true;
    RECT rect{0, 0, 400, 300};
    hr = m_page->Activate(nullptr, &rect, FALSE);
    m_active = SUCCEEDED(hr);
    return hr;
}

void TvPageUnderTest::Close()
{
    if (!m_page)
        return;
    if (m_active) {
        EXPECT_EQ(m_page->Deactivate(), S_OK);
    }
    if (m_connected) {
        EXPECT_EQ(m_page->SetObjects(0, nullptr), S_OK);
    }
    m_page->SetPageSite(nullptr);
    m_page->Release();
    m_page = nullptr;
    m_active = m_connected = false;
}

HWND TvPageUnderTest::Dialog() const
{
    auto* base = m_page ? dynamic_cast<CBasePropertyPage*>(m_page) : nullptr;
    return base ? base->DialogWindow() : nullptr;
}

TvControlState TvPageUnderTest::Control(int id) const
{
    TvControlState state;
    EXPECT_TRUE(TvDlgGetControl(Dialog(), id, &state)) << "control " << id;
    return state;
}
