#include "CAdjusterProp.h"

#include <cstdio>
#include <cstdlib>

namespace {

const TvDialogItem kItems[] = {
    {-1, TvControlKind::Static, "Saturation", 8, 10, 44, 10, 0},
    {IDC_ADJ_SATURATION, TvControlKind::Edit, "", 56, 8, 48, 13, 0},
    {-1, TvControlKind::Static, "Brightness", 8, 28, 44, 10, 0},
    {IDC_ADJ_BRIGHTNESS, TvControlKind::Edit, "", 56, 26, 48, 13, 0},
    {-1, TvControlKind::Static, "Contrast", 8, 46, 44, 10, 0},
    {IDC_ADJ_CONTRAST, TvControlKind::Edit, "", 56, 44, 48, 13, 0},
    {-1, TvControlKind::Static, "Hue", 8, 64, 44, 10, 0},
    {IDC_ADJ_HUE, TvControlKind::Edit, "", 56, 62, 48, 13, 0},
    {IDC_ADJ_APPLY, TvControlKind::Button, "Apply", 8, 84, 44, 14, 0},
    {IDC_ADJ_DEFAULT, TvControlKind::Button, "Default", 60, 84, 44, 14, 0},
};

constexpr int kNeutral = 64;
constexpr int kMaximum = 128;

void ShowValue(HWND dlg, int edit, int value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    SetDlgItemTextA(dlg, edit, text);
}

} // namespace

const TvDialogTemplate g_AdjusterPropDialog = {
    IDD_ADJUSTER_PROP, "Adjuster", 113,    104,
    "System",          10,         kItems, int(sizeof kItems / sizeof kItems[0])};

CAdjusterProp::CAdjusterProp(LPUNKNOWN pUnk, HRESULT*)
    : CBasePropertyPage("Adjuster Property Page", pUnk, &g_AdjusterPropDialog),
      m_settings{{IDC_ADJ_BRIGHTNESS, &IProcesserColor::SetBrightness, kNeutral, kNeutral, nullptr},
                 {IDC_ADJ_CONTRAST, &IProcesserColor::SetContrast, kNeutral, kNeutral, nullptr},
                 {IDC_ADJ_SATURATION, &IProcesserColor::SetSaturation, kNeutral, kNeutral, nullptr},
                 {IDC_ADJ_HUE, &IProcesserColor::SetHue, kNeutral, kNeutral, nullptr}}
{
}

HRESULT CAdjusterProp::OnConnect(IUnknown* object)
{
    const HRESULT hr = HoldInterface(object, IID_IProcesserColor, &m_pColor);
    if (FAILED(hr))
        return hr == E_POINTER ? E_POINTER : E_NOINTERFACE;
    BYTE value[kSettings] = {kNeutral, kNeutral, kNeutral, kNeutral};
    m_pColor->GetBrightness(&value[kBrightness]);
    m_pColor->GetContrast(&value[kContrast]);
    m_pColor->GetSaturation(&value[kSaturation]);
    m_pColor->GetHue(&value[kHue]);
    for (int i = 0; i < kSettings; ++i)
        m_settings[i].shown = m_settings[i].applied = value[i];
    return S_OK;
}

HRESULT CAdjusterProp::OnDisconnect()
{
    if (!m_pColor)
        return E_UNEXPECTED;
    // Leaving the page keeps what was applied, not what was only typed.
    for (int i : {kContrast, kBrightness, kSaturation, kHue})
        (m_pColor->*m_settings[i].set)(m_settings[i].applied);
    DropInterface(&m_pColor);
    return S_OK;
}

HRESULT CAdjusterProp::OnActivate()
{
    m_filling = true;
    for (const Setting& s : m_settings)
        ShowValue(m_Dlg, s.edit, s.shown);
    m_filling = false;
    return S_OK;
}

bool CAdjusterProp::IsSettingEdit(int id) const
{
    for (const Setting& s : m_settings) {
        if (s.edit == id)
            return true;
    }
    return false;
}

void CAdjusterProp::MarkClean()
{
    m_bDirty = FALSE;
    if (m_pPageSite)
        m_pPageSite->OnStatusChange(PROPPAGESTATUS_CLEAN);
}

void CAdjusterProp::Store(Setting& s, int value)
{
    (m_pColor->*s.set)(value);
    s.shown = s.applied = value;
}

HRESULT CAdjusterProp::OnApplyChanges()
{
    if (!m_pColor)
        return E_UNEXPECTED;
    for (Setting& s : m_settings) {
        char text[32] = {};
        if (GetDlgItemTextA(m_Dlg, s.edit, text, sizeof text) == 0)
            continue;
        int value = std::atoi(text);
        value = value < 0 ? 0 : value > kMaximum ? kMaximum : value;
        Store(s, value);
    }
    return S_OK;
}

INT_PTR CAdjusterProp::OnReceiveMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG:
        for (Setting& s : m_settings)
            s.window = GetDlgItem(hwnd, s.edit);
        break;
    case WM_COMMAND:
        // A value typed into an edit is a change of the page's: the frame's
        // OK and Apply write it, as the page's own "Apply" does.
        if (HIWORD(wParam) == EN_CHANGE && !m_filling && IsSettingEdit(LOWORD(wParam))) {
            SetDirty();
            break;
        }
        if (HIWORD(wParam) != BN_CLICKED || !m_pColor)
            break;
        if (LOWORD(wParam) == IDC_ADJ_APPLY) {
            if (SUCCEEDED(OnApplyChanges()))
                MarkClean();
        } else if (LOWORD(wParam) == IDC_ADJ_DEFAULT) {
            m_filling = true;
            for (Setting& s : m_settings) {
                SetWindowTextA(s.window, "64");
                Store(s, kNeutral);
            }
            m_filling = false;
            MarkClean();
        }
        break;
    case WM_DESTROY:
        for (Setting& s : m_settings)
            s.window = nullptr;
        break;
    default:
        break;
    }
    return CBasePropertyPage::OnReceiveMessage(hwnd, msg, wParam, lParam);
}
