#include "CNWSourceProp.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>

namespace {

const TvDialogItem kItems[] = {
    {-1, TvControlKind::Static, "Connect Type:", 7, 10, 52, 10, 0},
    {IDC_NW_CONNECT_TYPE, TvControlKind::ComboBox, "", 62, 8, 100, 60, 0},
    {-1, TvControlKind::Static, "Server:", 7, 28, 52, 10, 0},
    {IDC_NW_SERVER, TvControlKind::IpAddress, "", 62, 26, 100, 13, 0},
    {-1, TvControlKind::Static, "Port:", 7, 46, 52, 10, 0},
    {IDC_NW_PORT, TvControlKind::Edit, "", 62, 44, 50, 13, 0},
    {IDC_NW_RECORD, TvControlKind::CheckBox, "Record FilePath:", 7, 64, 70, 10, 0},
    {IDC_NW_RECORD_PATH, TvControlKind::Edit, "", 80, 62, 143, 13, 0},
    {IDC_NW_LOG, TvControlKind::CheckBox, "Log FilePath:", 7, 82, 70, 10, 0},
    {IDC_NW_LOG_PATH, TvControlKind::Edit, "", 80, 80, 143, 13, 0},
    {-1, TvControlKind::Static, "Status:", 7, 104, 52, 10, 0},
    {IDC_NW_STATUS, TvControlKind::Edit, "", 62, 102, 161, 13, WS_DISABLED},
};

// The connect types in the order the list shows them, with their item data.
const struct {
    const char* text;
    NWConnectType type;
} kConnectTypes[] = {
    {"UnKnown", NW_CONNECT_UNKNOWN},
    {"TCP(Server)", NW_CONNECT_TCP_SERVER},
    {"TCP(Client)", NW_CONNECT_TCP_CLIENT},
    {"UDP(Brodcast)", NW_CONNECT_UDP_MULTICAST},
    {"UDP", NW_CONNECT_UDP},
};

} // namespace

const TvDialogTemplate g_NWSourcePropDialog = {IDD_NWSOURCE_PROP,
                                               "Connect Parameter",
                                               230,
                                               130,
                                               "System",
                                               8,
                                               kItems,
                                               int(sizeof kItems / sizeof kItems[0])};

CNWSourceProp::CNWSourceProp(LPUNKNOWN pUnk, HRESULT*)
    : CBasePropertyPage("PropertyPage", pUnk, &g_NWSourcePropDialog)
{
}

HRESULT CNWSourceProp::OnConnect(IUnknown* object)
{
    return HoldInterface(object, IID_INWSource, &m_pSource);
}

HRESULT CNWSourceProp::OnDisconnect()
{
    DropInterface(&m_pSource);
    return S_OK;
}

void CNWSourceProp::ShowPath(int box, int edit, const char* path)
{
    if (path[0] != '\0') {
        CheckDlgButton(m_Dlg, box, BST_CHECKED);
        SetDlgItemTextA(m_Dlg, edit, path);
    } else {
        CheckDlgButton(m_Dlg, box, BST_UNCHECKED);
        SendDlgItemMessageA(m_Dlg, edit, EM_SETREADONLY, TRUE, 0);
    }
}

HRESULT CNWSourceProp::OnActivate()
{
    SendDlgItemMessageA(m_Dlg, IDC_NW_CONNECT_TYPE, CB_RESETCONTENT, 0, 0);
    for (const auto& item : kConnectTypes) {
        const LRESULT at = SendDlgItemMessageA(m_Dlg, IDC_NW_CONNECT_TYPE, CB_ADDSTRING, 0,
                                               reinterpret_cast<LPARAM>(item.text));
        SendDlgItemMessageA(m_Dlg, IDC_NW_CONNECT_TYPE, CB_SETITEMDATA, WPARAM(at), item.type);
    }
    if (!m_pSource)
        return S_OK;

    NWConnectType type = NW_CONNECT_UNKNOWN;
    char address[NWSOURCE_ADDRESS_SIZE] = {};
    USHORT port = 0;
    m_pSource->GetConnectParam(&type, address, &port);
    WPARAM selection = 0;
    const LRESULT count = SendDlgItemMessageA(m_Dlg, IDC_NW_CONNECT_TYPE, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i)
        if (SendDlgItemMessageA(m_Dlg, IDC_NW_CONNECT_TYPE, CB_GETITEMDATA, WPARAM(i), 0) == type) {
            selection = WPARAM(i);
            break;
        }
    SendDlgItemMessageA(m_Dlg, IDC_NW_CONNECT_TYPE, CB_SETCURSEL, selection, 0);
    // An address that does not parse shows as 255.255.255.255, as
    // inet_addr's INADDR_NONE does.
    SendDlgItemMessageA(m_Dlg, IDC_NW_SERVER, IPM_SETADDRESS, 0, LPARAM(ntohl(inet_addr(address))));
    char text[16];
    std::snprintf(text, sizeof text, "%u", unsigned(port));
    SetDlgItemTextA(m_Dlg, IDC_NW_PORT, text);

    char path[NWSOURCE_PATH_SIZE] = {};
    m_pSource->GetRecordPath(path);
    ShowPath(IDC_NW_RECORD, IDC_NW_RECORD_PATH, path);
    path[0] = '\0';
    m_pSource->GetLogPath(path);
    ShowPath(IDC_NW_LOG, IDC_NW_LOG_PATH, path);
    return S_OK;
}

INT_PTR CNWSourceProp::OnReceiveMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_COMMAND) {
        SetDirty();
        const int id = LOWORD(wParam);
        if (HIWORD(wParam) == 0 && (id == IDC_NW_RECORD || id == IDC_NW_LOG)) {
            const int edit = id == IDC_NW_RECORD ? IDC_NW_RECORD_PATH : IDC_NW_LOG_PATH;
            if (IsDlgButtonChecked(hwnd, id) == BST_CHECKED) {
                SendDlgItemMessageA(hwnd, edit, EM_SETREADONLY, FALSE, 0);
                char path[NWSOURCE_PATH_SIZE] = {};
                if (GetDlgItemTextA(hwnd, edit, path, sizeof path) == 0)
                    SetDlgItemTextA(hwnd, edit,
                                    id == IDC_NW_RECORD ? kDefaultRecordPath : kDefaultLogPath);
            } else {
                SendDlgItemMessageA(hwnd, edit, EM_SETREADONLY, TRUE, 0);
            }
        }
    }
    return CBasePropertyPage::OnReceiveMessage(hwnd, msg, wParam, lParam);
}

std::string CNWSourceProp::PathToApply(int box, int edit)
{
    char path[NWSOURCE_PATH_SIZE] = {};
    if (IsDlgButtonChecked(m_Dlg, box) != BST_CHECKED)
        return std::string();
    GetDlgItemTextA(m_Dlg, edit, path, sizeof path);
    return path;
}

HRESULT CNWSourceProp::OnApplyChanges()
{
    if (!m_pSource)
        return E_FAIL;
    const LRESULT selected = SendDlgItemMessageA(m_Dlg, IDC_NW_CONNECT_TYPE, CB_GETCURSEL, 0, 0);
    const NWConnectType type = NWConnectType(
        SendDlgItemMessageA(m_Dlg, IDC_NW_CONNECT_TYPE, CB_GETITEMDATA, WPARAM(selected), 0));
    DWORD hostOrder = 0;
    SendDlgItemMessageA(m_Dlg, IDC_NW_SERVER, IPM_GETADDRESS, 0,
                        reinterpret_cast<LPARAM>(&hostOrder));
    in_addr a{};
    a.s_addr = htonl(hostOrder);
    const std::string address = inet_ntoa(a);
    char port[16] = {};
    GetDlgItemTextA(m_Dlg, IDC_NW_PORT, port, sizeof port);

    const std::string record = PathToApply(IDC_NW_RECORD, IDC_NW_RECORD_PATH);
    if (!record.empty())
        m_pSource->StartRecord(record.c_str());
    else
        m_pSource->StopRecord();
    const std::string log = PathToApply(IDC_NW_LOG, IDC_NW_LOG_PATH);
    m_pSource->SetLogPath(log.empty() ? nullptr : log.c_str());

    // Failures show in the player's statistics, not here.
    m_pSource->SetConnectParam(type, address.c_str(), std::atoi(port));
    return S_OK;
}
