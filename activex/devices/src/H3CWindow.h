// The hosted H3C control (TvH3CWindow of DevicePlayers.h): the child window
// made for it and its dispatch interface, and calls of its members by name.
#pragma once

#include <initializer_list>
#include <string>

#include <oleauto.h>

#include "DevicePlayers.h"

struct TvH3CWindow {
    HWND window = nullptr;
    bool x11 = false;             // an X11 child of an X11 parent, else a virtual window
    IDispatch* control = nullptr; // owned reference
    int id = 101;
    std::string text = "H3C";
};

// One argument of a member call: a number, a text or a number to be written.
struct H3CArg {
    VARTYPE type;
    LONG number = 0;
    const char* text = nullptr;
    LONG* out = nullptr;

    static H3CArg Number(LONG value) { return {VT_I4, value, nullptr, nullptr}; }
    static H3CArg Text(const char* value) { return {VT_BSTR, 0, value, nullptr}; }
    static H3CArg Out(LONG* value) { return {VT_BYREF | VT_I4, 0, nullptr, value}; }
};

// Calls member by name with args (in order). True when the call went through
// and the control answered 0.
bool CallH3C(const TvH3CWindow* h3c, const wchar_t* member,
             std::initializer_list<H3CArg> args = {});
