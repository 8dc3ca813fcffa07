// CH264DecoderProp: the H.264 decoder's page ("TarvoH264Dec"), which the
// filter lists among its pages (ISpecifyPropertyPages).
// Applying keeps the number typed under "Parameters 1:" and the "XOR image"
// check box in the page itself: nothing in the decoder reads them.
//
// Threads: the property frame's (user-interface) thread only.
#pragma once

#include "IH264DecoderControl.h"

#include <cprop.h>

#define IDD_H264DEC_PROP 101
#define IDC_H264_PARAMETER 1000
#define IDC_H264_XOR_IMAGE 1001

extern const TvDialogTemplate g_H264DecoderPropDialog;

class CH264DecoderProp : public CBasePropertyPage {
public:
    HRESULT OnConnect(IUnknown* object) override;
    HRESULT OnDisconnect() override;
    HRESULT OnActivate() override;
    HRESULT OnApplyChanges() override;
    INT_PTR OnReceiveMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override;

    // What the last Apply stored.
    LONG Parameter() const { return m_parameter; }
    BOOL XorImage() const { return m_xorImage; }

private:
    template <class T, auto... Args> friend CUnknown* CreateComInstance(LPUNKNOWN, HRESULT*);
    CH264DecoderProp(LPUNKNOWN pUnk, HRESULT* phr);

    IH264DecoderControl* m_pControl = nullptr;
    LONG m_parameter = 0;
    BOOL m_xorImage = FALSE;
    bool m_filling = false; // OnActivate is writing the controls
};
