// Property pages: IPropertyPage and its site, and the base class of the
// filters' pages.
//
// A page is a COM object created by its class identifier (a filter names its
// pages through ISpecifyPropertyPages). A property frame gives the page its
// site, the objects to show (SetObjects), activates it into a parent window,
// applies it and deactivates it. The page's dialog is a dialog model
// (win32/dialog.h) made from the page's TvDialogTemplate, so its logic runs the
// same in a test, which drives the model, and on screen, where a toolkit frame
// shows the model and relays what a person does.
//
// Threads: a page is used from one thread at a time, the frame's (the
// user-interface thread); the page's callbacks run there.
#pragma once

#include "win32/dialog.h"
#include <strmif.h>

// {B196B28C-BAB4-101A-B69C-00AA00341D07}
DEFINE_GUID(IID_IPropertyPageSite, 0xb196b28c, 0xbab4, 0x101a, 0xb6, 0x9c, 0x00, 0xaa, 0x00, 0x34,
            0x1d, 0x07);
// {B196B28D-BAB4-101A-B69C-00AA00341D07}
DEFINE_GUID(IID_IPropertyPage, 0xb196b28d, 0xbab4, 0x101a, 0xb6, 0x9c, 0x00, 0xaa, 0x00, 0x34, 0x1d,
            0x07);

#define PROPPAGESTATUS_DIRTY 0x1
#define PROPPAGESTATUS_VALIDATE 0x2
#define PROPPAGESTATUS_CLEAN 0x4

typedef DWORD LCID;
struct tagMSG;
typedef struct tagMSG MSG;

// The frame's side: told when the page's state changes.
struct IPropertyPageSite : public IUnknown {
    virtual HRESULT OnStatusChange(DWORD flags) = 0;
    virtual HRESULT GetLocaleID(LCID* locale) = 0;
    virtual HRESULT GetPageContainer(IUnknown** container) = 0;
    virtual HRESULT TranslateAccelerator(MSG* msg) = 0;
};

// Title (CoTaskMemAlloc'd, the caller frees it) and size in pixels.
typedef struct tagPROPPAGEINFO {
    ULONG cb;
    LPOLESTR pszTitle;
    SIZE size;
    LPOLESTR pszDocString;
    LPOLESTR pszHelpFile;
    DWORD dwHelpContext;
} PROPPAGEINFO;

struct IPropertyPage : public IUnknown {
    virtual HRESULT SetPageSite(IPropertyPageSite* site) = 0;
    virtual HRESULT Activate(HWND parent, LPCRECT rect, BOOL modal) = 0;
    virtual HRESULT Deactivate() = 0;
    virtual HRESULT GetPageInfo(PROPPAGEINFO* info) = 0;
    virtual HRESULT SetObjects(ULONG count, IUnknown** objects) = 0;
    virtual HRESULT Show(UINT cmdShow) = 0;
    virtual HRESULT Move(LPCRECT rect) = 0;
    virtual HRESULT IsPageDirty() = 0;
    virtual HRESULT Apply() = 0;
    virtual HRESULT Help(LPCOLESTR helpDir) = 0;
    virtual HRESULT TranslateAccelerator(MSG* msg) = 0;
};

// The base of a filter's page. A derived page supplies its dialog template and
// overrides the steps it needs:
//   OnConnect(object)   SetObjects with one object: take the interfaces needed
//   OnDisconnect()      SetObjects with none: release them
//   OnActivate()        the dialog exists: fill its controls
//   OnDeactivate()      the dialog is about to go
//   OnApplyChanges()    Apply on a dirty page: write the controls to the object
//   OnReceiveMessage()  every message of the dialog (WM_INITDIALOG, WM_COMMAND,
//                       WM_DESTROY, ...); the base answers 0
// The dialog handle is m_Dlg (and m_hwnd) between WM_INITDIALOG and WM_DESTROY.
class CBasePropertyPage : public IPropertyPage, public CUnknown {
public:
    CBasePropertyPage(LPCTSTR name, LPUNKNOWN pUnk, const TvDialogTemplate* dialog);
    ~CBasePropertyPage() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) NonDelegatingRelease() override;

    virtual HRESULT OnConnect(IUnknown*) { return S_OK; }
    virtual HRESULT OnDisconnect() { return S_OK; }
    virtual HRESULT OnActivate() { return S_OK; }
    virtual HRESULT OnDeactivate() { return S_OK; }
    virtual HRESULT OnApplyChanges() { return S_OK; }
    virtual INT_PTR OnReceiveMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    // IPropertyPage
    STDMETHODIMP SetPageSite(IPropertyPageSite* site) override;
    // E_UNEXPECTED when already active; the dialog is made as a child of
    // `parent` (any window or none) and then OnActivate runs.
    STDMETHODIMP Activate(HWND parent, LPCRECT rect, BOOL modal) override;
    STDMETHODIMP Deactivate() override;
    STDMETHODIMP GetPageInfo(PROPPAGEINFO* info) override;
    // One object: OnConnect (a previous one is disconnected first); none:
    // OnDisconnect; more than one: E_UNEXPECTED.
    STDMETHODIMP SetObjects(ULONG count, IUnknown** objects) override;
    STDMETHODIMP Show(UINT cmdShow) override;
    STDMETHODIMP Move(LPCRECT rect) override;
    // S_OK when dirty, else S_FALSE.
    STDMETHODIMP IsPageDirty() override;
    // E_UNEXPECTED without an object; a clean page applies nothing (S_OK); a
    // dirty one runs OnApplyChanges and is clean when it succeeds.
    STDMETHODIMP Apply() override;
    STDMETHODIMP Help(LPCOLESTR) override { return E_NOTIMPL; }
    STDMETHODIMP TranslateAccelerator(MSG*) override { return E_NOTIMPL; }

    // The page's dialog while active (null otherwise).
    HWND DialogWindow() const { return m_Dlg; }
    const TvDialogTemplate* DialogTemplate() const { return m_pDialog; }

protected:
    // Marks the page dirty and tells the site.
    void SetDirty();

    // OnConnect's usual step: the object's interface `iid` into *held (which
    // must be empty). E_POINTER for a null object, else QueryInterface's result.
    template <class I> static HRESULT HoldInterface(IUnknown* object, REFIID iid, I** held)
    {
        if (!object)
            return E_POINTER;
        if (*held)
            return E_UNEXPECTED;
        return object->QueryInterface(iid, reinterpret_cast<void**>(held));
    }
    // OnDisconnect's usual step: releases and empties *held.
    template <class I> static void DropInterface(I** held)
    {
        if (*held)
            (*held)->Release();
        *held = nullptr;
    }

    HWND m_hwnd = nullptr; // the dialog
    HWND m_Dlg = nullptr;  // the same, as the derived pages name it
    IPropertyPageSite* m_pPageSite = nullptr;
    BOOL m_bDirty = FALSE;
    BOOL m_bObjectSet = FALSE;

private:
    static INT_PTR DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, void* user);

    const TvDialogTemplate* m_pDialog;
};
