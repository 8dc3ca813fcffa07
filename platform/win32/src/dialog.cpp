#include "win32/dialog.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

namespace {

struct Control {
    TvControlState state;
    HWND hwnd = nullptr;
};

struct Dialog {
    const TvDialogTemplate* tmpl = nullptr;
    TvDialogProc proc = nullptr;
    void* user = nullptr;
    TvDialogChangeListener listener = nullptr;
    void* listenerUser = nullptr;
    std::vector<Control> controls; // in template order
};

// guarded by g_lock: every dialog and the owner of every control handle.
std::mutex g_lock;
std::map<HWND, std::shared_ptr<Dialog>> g_dialogs;
std::map<HWND, std::pair<HWND, int>> g_controls; // control -> (dialog, id)

std::shared_ptr<Dialog> FindDialog(HWND dlg)
{
    std::lock_guard<std::mutex> lock(g_lock);
    auto it = g_dialogs.find(dlg);
    return it == g_dialogs.end() ? nullptr : it->second;
}

Control* FindControl(Dialog& d, int id)
{
    for (Control& c : d.controls)
        if (c.state.id == id)
            return &c;
    return nullptr;
}

// Runs `change` on the control under the lock; returns its result, or
// `missing` when there is no such control.
template <typename Change>
auto WithControl(HWND dlg, int id,
                 decltype(std::declval<Change>()(std::declval<Control&>())) missing, Change change)
{
    std::lock_guard<std::mutex> lock(g_lock);
    auto it = g_dialogs.find(dlg);
    Control* c = it == g_dialogs.end() ? nullptr : FindControl(*it->second, id);
    if (!c) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return missing;
    }
    return change(*c);
}

void Changed(HWND dlg, int id)
{
    std::shared_ptr<Dialog> d = FindDialog(dlg);
    TvDialogChangeListener listener = nullptr;
    void* user = nullptr;
    if (d) {
        std::lock_guard<std::mutex> lock(g_lock);
        listener = d->listener;
        user = d->listenerUser;
    }
    if (listener)
        listener(dlg, id, user);
}

INT_PTR Notify(HWND dlg, int id, WORD code)
{
    std::shared_ptr<Dialog> d = FindDialog(dlg);
    if (!d || !d->proc)
        return 0;
    HWND control = GetDlgItem(dlg, id);
    return d->proc(dlg, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(control),
                   d->user);
}

std::string FormatAddress(DWORD a)
{
    return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 255) + "." +
           std::to_string((a >> 8) & 255) + "." + std::to_string(a & 255);
}

// The control message itself, under the lock. `notify` receives the
// notification code to send afterwards (or stays -1).
LRESULT ControlMessage(Control& c, UINT msg, WPARAM wParam, LPARAM lParam, int& notify,
                       bool& changed)
{
    TvControlState& s = c.state;
    switch (msg) {
    case EM_SETREADONLY:
        if (s.kind != TvControlKind::Edit)
            return FALSE;
        s.readOnly = wParam != 0;
        changed = true;
        return TRUE;
    case BM_GETCHECK:
        return s.checked ? BST_CHECKED : BST_UNCHECKED;
    case BM_SETCHECK:
        s.checked = wParam == BST_CHECKED;
        changed = true;
        return 0;
    case CB_GETCOUNT:
        return s.kind == TvControlKind::ComboBox ? LRESULT(s.items.size()) : CB_ERR;
    case CB_GETCURSEL:
        return s.kind == TvControlKind::ComboBox ? s.selection : CB_ERR;
    case CB_RESETCONTENT:
        s.items.clear();
        s.selection = -1;
        changed = true;
        return 0;
    case CB_ADDSTRING:
        if (s.kind != TvControlKind::ComboBox || lParam == 0)
            return CB_ERR;
        s.items.emplace_back(reinterpret_cast<const char*>(lParam), 0);
        changed = true;
        return LRESULT(s.items.size() - 1);
    case CB_SETCURSEL:
        if (s.kind != TvControlKind::ComboBox)
            return CB_ERR;
        if (INT_PTR(wParam) < 0 || wParam >= s.items.size()) {
            s.selection = -1;
            changed = true;
            return CB_ERR;
        }
        s.selection = int(wParam);
        changed = true;
        return s.selection;
    case CB_GETITEMDATA:
        return wParam < s.items.size() ? s.items[wParam].second : CB_ERR;
    case CB_SETITEMDATA:
        if (wParam >= s.items.size())
            return CB_ERR;
        s.items[wParam].second = lParam;
        return TRUE;
    case CB_GETLBTEXTLEN:
        return wParam < s.items.size() ? LRESULT(s.items[wParam].first.size()) : CB_ERR;
    case CB_GETLBTEXT:
        if (wParam >= s.items.size() || lParam == 0)
            return CB_ERR;
        std::memcpy(reinterpret_cast<char*>(lParam), s.items[wParam].first.c_str(),
                    s.items[wParam].first.size() + 1);
        return LRESULT(s.items[wParam].first.size());
    case IPM_CLEARADDRESS:
        s.addressBlank = true;
        s.address = 0;
        s.text.clear();
        changed = true;
        notify = EN_CHANGE;
        return 0;
    case IPM_SETADDRESS:
        s.addressBlank = false;
        s.address = static_cast<DWORD>(lParam);
        s.text = FormatAddress(s.address);
        changed = true;
        notify = EN_CHANGE;
        return TRUE;
    case IPM_GETADDRESS:
        if (lParam)
            *reinterpret_cast<DWORD*>(lParam) = s.address;
        return s.addressBlank ? 0 : 4;
    default:
        return 0;
    }
}

} // namespace

HWND TvCreateDialog(const TvDialogTemplate* dialog, TvDialogProc proc, void* user, LPARAM initParam)
{
    if (!dialog || !proc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    HWND dlg = TvCreateVirtualWindow(dialog->cx, dialog->cy);
    if (!dlg)
        return nullptr;
    auto d = std::make_shared<Dialog>();
    d->tmpl = dialog;
    d->proc = proc;
    d->user = user;
    for (int i = 0; i < dialog->itemCount; ++i) {
        const TvDialogItem& item = dialog->items[i];
        Control c;
        c.state.id = item.id;
        c.state.kind = item.kind;
        c.state.text = item.text ? item.text : "";
        c.state.enabled = (item.style & WS_DISABLED) == 0;
        c.state.readOnly = (item.style & ES_READONLY) != 0;
        c.hwnd = TvCreateVirtualWindow(item.cx, item.cy);
        d->controls.push_back(c);
    }
    {
        std::lock_guard<std::mutex> lock(g_lock);
        g_dialogs[dlg] = d;
        for (const Control& c : d->controls)
            if (c.hwnd)
                g_controls[c.hwnd] = {dlg, c.state.id};
    }
    proc(dlg, WM_INITDIALOG, 0, initParam, user);
    return dlg;
}

BOOL TvDestroyDialog(HWND dlg)
{
    std::shared_ptr<Dialog> d = FindDialog(dlg);
    if (!d) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    d->proc(dlg, WM_DESTROY, 0, 0, d->user);
    {
        std::lock_guard<std::mutex> lock(g_lock);
        g_dialogs.erase(dlg);
        for (const Control& c : d->controls)
            g_controls.erase(c.hwnd);
    }
    for (const Control& c : d->controls)
        if (c.hwnd)
            DestroyWindow(c.hwnd);
    DestroyWindow(dlg);
    return TRUE;
}

const TvDialogTemplate* TvGetDialogTemplate(HWND dlg)
{
    std::shared_ptr<Dialog> d = FindDialog(dlg);
    return d ? d->tmpl : nullptr;
}

HWND GetDlgItem(HWND dlg, int id)
{
    return WithControl(dlg, id, HWND(nullptr), [](Control& c) { return c.hwnd; });
}

int GetDlgCtrlID(HWND control)
{
    std::lock_guard<std::mutex> lock(g_lock);
    auto it = g_controls.find(control);
    return it == g_controls.end() ? 0 : it->second.second;
}

LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (std::shared_ptr<Dialog> d = FindDialog(hwnd))
        return d->proc(hwnd, msg, wParam, lParam, d->user);
    HWND dlg = nullptr;
    int id = 0;
    {
        std::lock_guard<std::mutex> lock(g_lock);
        auto it = g_controls.find(hwnd);
        if (it == g_controls.end()) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        dlg = it->second.first;
        id = it->second.second;
    }
    return SendDlgItemMessageA(dlg, id, msg, wParam, lParam);
}

LRESULT SendDlgItemMessageA(HWND dlg, int id, UINT msg, WPARAM wParam, LPARAM lParam)
{
    int notify = -1;
    bool changed = false;
    const LRESULT r = WithControl(dlg, id, LRESULT(0), [&](Control& c) {
        return ControlMessage(c, msg, wParam, lParam, notify, changed);
    });
    if (changed)
        Changed(dlg, id);
    if (notify >= 0)
        Notify(dlg, id, WORD(notify));
    return r;
}

BOOL SetDlgItemTextA(HWND dlg, int id, LPCSTR text)
{
    bool isEdit = false;
    const BOOL ok = WithControl(dlg, id, BOOL(FALSE), [&](Control& c) {
        c.state.text = text ? text : "";
        isEdit = c.state.kind == TvControlKind::Edit;
        return BOOL(TRUE);
    });
    if (ok) {
        Changed(dlg, id);
        if (isEdit)
            Notify(dlg, id, EN_CHANGE);
    }
    return ok;
}

UINT GetDlgItemTextA(HWND dlg, int id, LPSTR text, int size)
{
    if (!text || size <= 0)
        return 0;
    text[0] = '\0';
    return WithControl(dlg, id, UINT(0), [&](Control& c) {
        const size_t n = std::min(c.state.text.size(), size_t(size - 1));
        std::memcpy(text, c.state.text.data(), n);
        text[n] = '\0';
        return UINT(n);
    });
}

namespace {

// The dialog and id of a control handle; (null, 0) for anything else.
std::pair<HWND, int> Owner(HWND control)
{
    std::lock_guard<std::mutex> lock(g_lock);
    auto it = g_controls.find(control);
    if (it == g_controls.end()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return {nullptr, 0};
    }
    return it->second;
}

} // namespace

BOOL SetWindowTextA(HWND control, LPCSTR text)
{
    const auto [dlg, id] = Owner(control);
    return dlg ? SetDlgItemTextA(dlg, id, text) : FALSE;
}

int GetWindowTextA(HWND control, LPSTR text, int size)
{
    const auto [dlg, id] = Owner(control);
    if (text && size > 0)
        text[0] = '\0';
    return dlg ? int(GetDlgItemTextA(dlg, id, text, size)) : 0;
}

int GetWindowTextLengthA(HWND control)
{
    const auto [dlg, id] = Owner(control);
    return dlg ? WithControl(dlg, id, 0, [](Control& c) { return int(c.state.text.size()); }) : 0;
}

BOOL CheckDlgButton(HWND dlg, int id, UINT check)
{
    const BOOL ok = WithControl(dlg, id, BOOL(FALSE), [&](Control& c) {
        c.state.checked = check == BST_CHECKED;
        return BOOL(TRUE);
    });
    if (ok)
        Changed(dlg, id);
    return ok;
}

UINT IsDlgButtonChecked(HWND dlg, int id)
{
    return UINT(SendDlgItemMessageA(dlg, id, BM_GETCHECK, 0, 0));
}

BOOL EnableWindow(HWND control, BOOL enable)
{
    const auto [dlg, id] = Owner(control);
    if (!dlg)
        return FALSE;
    const BOOL wasDisabled = WithControl(dlg, id, BOOL(FALSE), [&](Control& c) {
        const BOOL was = c.state.enabled ? FALSE : TRUE;
        c.state.enabled = enable != FALSE;
        return was;
    });
    Changed(dlg, id);
    return wasDisabled;
}

BOOL IsWindowEnabled(HWND control)
{
    const auto [dlg, id] = Owner(control);
    return dlg ? WithControl(dlg, id, BOOL(FALSE),
                             [](Control& c) { return c.state.enabled ? TRUE : FALSE; })
               : FALSE;
}

// ---- users ----

namespace {

// Applies a user's change when the control is of `kind` and takes input.
template <typename Change>
BOOL UserChange(HWND dlg, int id, TvControlKind kind, bool needWritable, WORD code, Change change)
{
    const BOOL ok = WithControl(dlg, id, BOOL(FALSE), [&](Control& c) {
        if (c.state.kind != kind || !c.state.enabled || (needWritable && c.state.readOnly))
            return BOOL(FALSE);
        return change(c.state) ? BOOL(TRUE) : BOOL(FALSE);
    });
    if (ok) {
        Changed(dlg, id);
        Notify(dlg, id, code);
    }
    return ok;
}

} // namespace

BOOL TvDlgUserType(HWND dlg, int id, const char* text)
{
    return UserChange(dlg, id, TvControlKind::Edit, true, EN_CHANGE, [&](TvControlState& s) {
        s.text = text ? text : "";
        return true;
    });
}

BOOL TvDlgUserClick(HWND dlg, int id)
{
    TvControlState state;
    if (!TvDlgGetControl(dlg, id, &state))
        return FALSE;
    const TvControlKind kind =
        state.kind == TvControlKind::CheckBox ? TvControlKind::CheckBox : TvControlKind::Button;
    return UserChange(dlg, id, kind, false, BN_CLICKED, [](TvControlState& s) {
        if (s.kind == TvControlKind::CheckBox)
            s.checked = !s.checked;
        return true;
    });
}

BOOL TvDlgUserSelect(HWND dlg, int id, int index)
{
    return UserChange(dlg, id, TvControlKind::ComboBox, false, CBN_SELCHANGE,
                      [&](TvControlState& s) {
                          if (index < 0 || size_t(index) >= s.items.size())
                              return false;
                          s.selection = index;
                          return true;
                      });
}

BOOL TvDlgUserSetAddress(HWND dlg, int id, DWORD address)
{
    return UserChange(dlg, id, TvControlKind::IpAddress, false, EN_CHANGE, [&](TvControlState& s) {
        s.address = address;
        s.addressBlank = false;
        s.text = FormatAddress(address);
        return true;
    });
}

BOOL TvDlgGetControl(HWND dlg, int id, TvControlState* state)
{
    if (!state)
        return FALSE;
    return WithControl(dlg, id, BOOL(FALSE), [&](Control& c) {
        *state = c.state;
        return BOOL(TRUE);
    });
}

BOOL TvDlgSetChangeListener(HWND dlg, TvDialogChangeListener listener, void* user)
{
    std::lock_guard<std::mutex> lock(g_lock);
    auto it = g_dialogs.find(dlg);
    if (it == g_dialogs.end())
        return FALSE;
    it->second->listener = listener;
    it->second->listenerUser = user;
    return TRUE;
}
