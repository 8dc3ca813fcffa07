// CAdjusterProp: the frame processor's "Adjuster" page. Four edits show and
// set brightness, contrast, saturation and hue (0 to 128, 64 neutral) through
// IProcesserColor; its own "Apply" button applies them and "Default" sets all
// four to 64 at once. A value typed into an edit marks the page changed, so the
// frame's OK and Apply write it too. Leaving the page (disconnecting) sets the
// filter to the values last applied.
//
// Threads: the property frame's (user-interface) thread only.
#pragma once

#include "IProcesserColor.h"

#include <cprop.h>

#define IDD_ADJUSTER_PROP 101
#define IDC_ADJ_SATURATION 1000
#define IDC_ADJ_BRIGHTNESS 1001
#define IDC_ADJ_CONTRAST 1002
#define IDC_ADJ_HUE 1003
#define IDC_ADJ_APPLY 1004
#define IDC_ADJ_DEFAULT 1005

extern const TvDialogTemplate g_AdjusterPropDialog;

class CAdjusterProp : public CBasePropertyPage {
public:
    HRESULT OnConnect(IUnknown* object) override;
    HRESULT OnDisconnect() override;
    HRESULT OnActivate() override;
    HRESULT OnApplyChanges() override;
    INT_PTR OnReceiveMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    template <class T, auto... Args> friend CUnknown* CreateComInstance(LPUNKNOWN, HRESULT*);
    CAdjusterProp(LPUNKNOWN pUnk, HRESULT* phr);

    // One setting: its edit, its setter, and the value shown and applied.
    struct Setting {
        int edit;
        HRESULT (IProcesserColor::*set)(LONG);
        int shown;
        int applied;
        HWND window; // the edit, between WM_INITDIALOG and WM_DESTROY
    };
    enum { kBrightness, kContrast, kSaturation, kHue, kSettings };
    // Sets the filter's value and remembers it as shown and applied.
    void Store(Setting& s, int value);
    bool IsSettingEdit(int id) const;
    // The page's own "Apply" and "Default" wrote every edit: nothing is left
    // for the frame to apply.
    void MarkClean();

    IProcesserColor* m_pColor = nullptr;
    Setting m_settings[kSettings]; // in the order brightness, contrast, saturation, hue
    bool m_filling = false;        // the page writes the edits itself: no change of the user's
};
