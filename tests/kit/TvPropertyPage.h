// A filter's property page under test, as a property frame uses it: created
// by its class through the registry, given a site that counts the page's
// status notes, connected to one object and activated; the dialog model is
// then driven with the TvDlgUser* calls and read with Control().
#pragma once

#include <cprop.h>

#include <atomic>

// A page site that counts OnStatusChange calls.
class CTestPageSite : public IPropertyPageSite {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() override { return --m_refs; } // owned by the test
    STDMETHODIMP OnStatusChange(DWORD flags) override;
    STDMETHODIMP GetLocaleID(LCID* locale) override;
    STDMETHODIMP GetPageContainer(IUnknown** container) override;
    STDMETHODIMP TranslateAccelerator(MSG*) override { return E_NOTIMPL; }

    int DirtyNotes() const { return m_dirty; }
    ULONG References() const { return m_refs; }

private:
    std::atomic<ULONG> m_refs{0};
    std::atomic<int> m_dirty{0};
};

class TvPageUnderTest {
public:
    TvPageUnderTest() = default;
    ~TvPageUnderTest() { Close(); }
    TvPageUnderTest(const TvPageUnderTest&) = delete;
    TvPageUnderTest& operator=(const TvPageUnderTest&) = delete;

    // Creates the page, sets the site and the object, activates it. Returns
    // the first failure (creation, SetObjects or Activate).
    HRESULT Open(REFCLSID page, IUnknown* object);
    // Deactivates, disconnects and releases the page (idempotent).
    void Close();

    IPropertyPage* Page() const { return m_page; }
    HWND Dialog() const;
    // The control's state; a failed expectation when there is no such control.
    TvControlState Control(int id) const;
    const CTestPageSite& Site() const { return m_site; }

private:
    CTestPageSite m_site;
    IPropertyPage* m_page = nullptr;
    bool m_active = false;
    bool m_connected = false;
};
