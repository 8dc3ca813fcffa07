// A BSTR made from UTF-8 text and freed with the object, for the calls that
// lend one to an outside component.
#pragma once

#include <oleauto.h>

#include "win32/text.h"

class CBstr {
public:
    // Null text gives a null BSTR (as does an allocation failure).
    explicit CBstr(const char* utf8)
        : m_text(utf8 ? SysAllocString(TvUtf8ToWide(utf8).c_str()) : nullptr)
    {
    }
    ~CBstr() { SysFreeString(m_text); }
    CBstr(const CBstr&) = delete;
    CBstr& operator=(const CBstr&) = delete;

    operator BSTR() const { return m_text; }

private:
    BSTR m_text;
};
