// Script values to VARIANT arguments and back, for calls through IDispatch.
//
// Arguments: a boolean is VT_BOOL, a string a BSTR, a number VT_I4 when it is
// a whole number that fits 32 bits (VT_I8 when it fits 53 bits, else VT_R8),
// null and undefined VT_EMPTY. A one-element array is an argument by
// reference: the callee gets VT_BYREF | VT_VARIANT pointing at its element's
// value, and whatever the callee wrote there is put back into the array.
#pragma once

#include <QJSValue>
#include <QString>

#include <vector>

#include "oaidl.h"

// The arguments of one call in DISPPARAMS order (the last one first), with
// the storage of the by-reference ones. Clears everything it holds.
class CScriptArgs {
public:
    CScriptArgs() = default;
    ~CScriptArgs();
    CScriptArgs(const CScriptArgs&) = delete;
    CScriptArgs& operator=(const CScriptArgs&) = delete;

    // Converts a script array of arguments. False with the reason in error
    // for a value no VARIANT holds (an object, a function, a longer array).
    bool Convert(const QJSValue& array, QString& error);
    DISPPARAMS* Params() { return &m_params; }
    // Puts what the callee wrote back into the by-reference arrays.
    void WriteBack();
    // The written position of an argument from its index in DISPPARAMS.
    int Position(UINT argErr) const { return int(m_values.size()) - 1 - int(argErr); }

private:
    std::vector<VARIANT> m_args;   // DISPPARAMS order
    std::vector<VARIANT> m_values; // written order: the by-reference values
    std::vector<QJSValue> m_refs;  // written order: the arrays (undefined if by value)
    DISPPARAMS m_params = {};
};

// A script value for a VARIANT (a by-reference one is followed); undefined
// for types scripts have no value for.
QJSValue VariantToScript(const VARIANT& v);

// "DISP_E_BADPARAMCOUNT (0x8002000E)" and the like.
QString DescribeHResult(HRESULT hr);
