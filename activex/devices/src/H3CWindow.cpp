#include "H3CWindow.h"

#include <new>
#include <vector>

#include <X11/Xlib.h>

#include "H3CControl.h"
#include "win32/window.h"

namespace {

// A child of parent over (x, y, width, height): an X11 window, mapped, when
// the parent is one and a display is open; else a virtual window.
HWND CreateChild(HWND parent, int x, int y, int width, int height, bool* x11)
{
    *x11 = false;
    Display* display = static_cast<Display*>(TvGetX11Display());
    if (display && parent && !TvIsVirtualWindow(parent) && IsWindow(parent)) {
        const Window child =
            XCreateSimpleWindow(display, static_cast<Window>(reinterpret_cast<uintptr_t>(parent)),
                                x, y, static_cast<unsigned>(width > 0 ? width : 1),
                                static_cast<unsigned>(height > 0 ? height : 1), 0, 0, 0);
        if (child) {
            XStoreName(display, child, "H3C");
            XMapWindow(display, child);
            XFlush(display);
            *x11 = true;
            return reinterpret_cast<HWND>(static_cast<uintptr_t>(child));
        }
    }
    return TvCreateVirtualWindow(width > 0 ? width : 0, height > 0 ? height : 0);
}

void DestroyChild(TvH3CWindow* h3c)
{
    if (!h3c->window)
        return;
    if (h3c->x11) {
        if (Display* display = static_cast<Display*>(TvGetX11Display())) {
            XDestroyWindow(display, static_cast<Window>(reinterpret_cast<uintptr_t>(h3c->window)));
            XFlush(display);
        }
    } else {
        DestroyWindow(h3c->window);
    }
    h3c->window = nullptr;
}

} // namespace

bool CallH3C(const TvH3CWindow* h3c, const wchar_t* member, std::initializer_list<H3CArg> args)
{
    if (!h3c || !h3c->control)
        return false;
    LPOLESTR name = const_cast<LPOLESTR>(member);
    DISPID id = DISPID_UNKNOWN;
    if (FAILED(h3c->control->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id)))
        return false;
    // Automation takes the arguments last first.
    std::vector<VARIANT> variants(args.size());
    size_t i = args.size();
    for (const H3CArg& arg : args) {
        VARIANT& v = variants[--i];
        VariantInit(&v);
        v.vt = arg.type;
        if (arg.type == VT_BSTR)
            v.bstrVal = SysAllocString(TvUtf8ToWide(arg.text ? arg.text : "").c_str());
        else if (arg.type == (VT_BYREF | VT_I4))
            v.plVal = arg.out;
        else
            v.lVal = arg.number;
    }
    DISPPARAMS params{};
    params.rgvarg = variants.empty() ? nullptr : variants.data();
    params.cArgs = static_cast<UINT>(variants.size());
    VARIANT result;
    VariantInit(&result);
    const HRESULT hr = h3c->control->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                            &params, &result, nullptr, nullptr);
    for (VARIANT& v : variants)
        VariantClear(&v);
    const bool answered = SUCCEEDED(hr) && result.vt == VT_I4 && result.lVal == 0;
    VariantClear(&result);
    return answered;
}

TvH3CWindow* TvCreateH3CWindow(HWND parent, int x, int y, int width, int height)
{
    IDispatch* control = nullptr;
    if (FAILED(CoCreateInstance(CLSID_H3CControl, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                reinterpret_cast<void**>(&control))) ||
        !control)
        return nullptr;
    auto* h3c = new (std::nothrow) TvH3CWindow;
    if (!h3c) {
        control->Release();
        return nullptr;
    }
    h3c->control = control;
    h3c->window = CreateChild(parent, x, y, width, height, &h3c->x11);
    if (!h3c->window ||
        !CallH3C(h3c, L"AttachWindow",
                 {H3CArg::Number(static_cast<LONG>(reinterpret_cast<uintptr_t>(h3c->window)))})) {
        TvDestroyH3CWindow(h3c);
        return nullptr;
    }
    CallH3C(h3c, L"ShowWindow", {H3CArg::Number(1)});
    return h3c;
}

HWND TvH3CWindowHandle(const TvH3CWindow* h3c)
{
    return h3c ? h3c->window : nullptr;
}

void TvMoveH3CWindow(TvH3CWindow* h3c, int x, int y, int width, int height)
{
    if (!h3c || !h3c->window)
        return;
    if (h3c->x11) {
        if (Display* display = static_cast<Display*>(TvGetX11Display())) {
            XMoveResizeWindow(display,
                              static_cast<Window>(reinterpret_cast<uintptr_t>(h3c->window)), x, y,
                              static_cast<unsigned>(width > 0 ? width : 1),
                              static_cast<unsigned>(height > 0 ? height : 1));
            XFlush(display);
        }
    } else {
        TvResizeVirtualWindow(h3c->window, width > 0 ? width : 0, height > 0 ? height : 0);
    }
}

void TvDestroyH3CWindow(TvH3CWindow* h3c)
{
    if (!h3c)
        return;
    DestroyChild(h3c);
    if (h3c->control)
        h3c->control->Release();
    delete h3c;
}
