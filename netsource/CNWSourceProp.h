// CNWSourceProp: the network source's "Connect Parameter" page. It shows and
// sets the connect type, address and port, and switches recording and the
// ring-buffer log, all through the filter's INWSource.
//
// Threads: the property frame's (user-interface) thread only.
#pragma once

#include "INWSource.h"

#include <cprop.h>

// Control ids of the page's dialog (resource 101).
#define IDD_NWSOURCE_PROP 101
#define IDC_NW_SERVER 1000
#define IDC_NW_PORT 1001
#define IDC_NW_CONNECT_TYPE 1002
#define IDC_NW_STATUS 1003
#define IDC_NW_RECORD_PATH 1007
#define IDC_NW_LOG_PATH 1008
#define IDC_NW_RECORD 1009
#define IDC_NW_LOG 1010

extern const TvDialogTemplate g_NWSourcePropDialog;

class CNWSourceProp : public CBasePropertyPage {
public:
    // Default paths filled in when a box is ticked on an empty edit.
    static constexpr const char* kDefaultRecordPath = "C:\\TarvoNWSourceRecord.ts";
    static constexpr const char* kDefaultLogPath = "C:\\TarvoNwSourceLog.txt";

    HRESULT OnConnect(IUnknown* object) override;
    HRESULT OnDisconnect() override;
    HRESULT OnActivate() override;
    HRESULT OnApplyChanges() override;
    INT_PTR OnReceiveMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    template <class T, auto... Args> friend CUnknown* CreateComInstance(LPUNKNOWN, HRESULT*);
    CNWSourceProp(LPUNKNOWN pUnk, HRESULT* phr);

    // Shows a path: ticks the box and fills the edit, or unticks the box and
    // makes the edit read-only when the path is empty.
    void ShowPath(int box, int edit, const char* path);
    // The path to apply: the edit's text when the box is ticked, else "".
    std::string PathToApply(int box, int edit);

    INWSource* m_pSource = nullptr;
};
