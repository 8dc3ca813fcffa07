#include "CH264DecoderProp.h"

#include <cstdio>
#include <cstdlib>

namespace {

const TvDialogItem kItems[] = {
    {-1, TvControlKind::Static, "Set the parameters of TarvoH264Dec:", 8, 8, 160, 10, 0},
    {-1, TvControlKind::Static, "Parameters 1:", 8, 28, 56, 10, 0},
    {IDC_H264_PARAMETER, TvControlKind::Edit, "", 68, 26, 60, 13, 0},
    {-1, TvControlKind::Static, "Parameters 2:", 8, 48, 56, 10, 0},
    {IDC_H264_XOR_IMAGE, TvControlKind::CheckBox, "XOR image", 68, 48, 60, 10, 0},
};

} // namespace

const TvDialogTemplate g_H264DecoderPropDialog = {IDD_H264DEC_PROP,
                                                  "TarvoH264Dec",
                                                  180,
                                                  70,
                                                  "System",
                                                  8,
                                                  kItems,
                                                  int(sizeof kItems / sizeof kItems[0])};

CH264DecoderProp::CH264DecoderProp(LPUNKNOWN pUnk, HRESULT*)
    : CBasePropertyPage("Tarvo H264 Decoder Filter Properties", pUnk, &g_H264DecoderPropDialog)
{
}

HRESULT CH264DecoderProp::OnConnect(IUnknown* object)
{
    return HoldInterface(object, IID_IH264DecoderControl, &m_pControl);
}

HRESULT CH264DecoderProp::OnDisconnect()
{
    DropInterface(&m_pControl);
    return S_OK;
}

HRESULT CH264DecoderProp::OnActivate()
{
    char text[16];
    std::snprintf(text, sizeof text, "%ld", long(m_parameter));
    // Filling the controls is not a change of the user's.
    m_filling = true;
    SetDlgItemTextA(m_Dlg, IDC_H264_PARAMETER, text);
    CheckDlgButton(m_Dlg, IDC_H264_XOR_IMAGE, m_xorImage ? BST_CHECKED : BST_UNCHECKED);
    m_filling = false;
    return S_OK;
}

HRESULT CH264DecoderProp::OnApplyChanges()
{
    char text[16] = {};
    GetDlgItemTextA(m_Dlg, IDC_H264_PARAMETER, text, sizeof text);
    m_parameter = std::atoi(text);
    m_xorImage = IsDlgButtonChecked(m_Dlg, IDC_H264_XOR_IMAGE) == BST_CHECKED;
    return S_OK;
}

INT_PTR CH264DecoderProp::OnReceiveMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_COMMAND && !m_filling)
        SetDirty();
    return CBasePropertyPage::OnReceiveMessage(hwnd, msg, wParam, lParam);
}
