#include "ScriptVariant.h"

#include <cmath>

#include "oleauto.h"

namespace {

bool ToVariant(const QJSValue& value, VARIANT& v, QString& error)
{
    VariantInit(&v);
    if (value.isBool()) {
        v.vt = VT_BOOL;
        v.boolVal = value.toBool() ? VARIANT_TRUE : VARIANT_FALSE;
    } else if (value.isNumber()) {
        const double d = value.toNumber();
        constexpr double kExact = 9007199254740992.0; // 2^53
        if (std::trunc(d) == d && d >= -2147483648.0 && d <= 2147483647.0) {
            v.vt = VT_I4;
            v.lVal = LONG(d);
        } else if (std::trunc(d) == d && std::fabs(d) <= kExact) {
            v.vt = VT_I8;
            v.llVal = LONGLONG(d);
        } else {
            v.vt = VT_R8;
            v.dblVal = d;
        }
    } else if (value.isString()) {
        const std::wstring text = value.toString().toStdWString();
        v.vt = VT_BSTR;
        v.bstrVal = SysAllocStringLen(text.c_str(), UINT(text.size()));
    } else if (value.isNull() || value.isUndefined()) {
        v.vt = VT_EMPTY;
    } else {
        error =
            QStringLiteral("a %1 cannot be passed (numbers, strings, booleans, null, or a "
                           "one-element array for a reference)")
                .arg(value.isCallable() ? QStringLiteral("function") : QStringLiteral("object"));
        return false;
    }
    return true;
}

} // namespace

CScriptArgs::~CScriptArgs()
{
    for (VARIANT& v : m_args)
        VariantClear(&v);
    for (VARIANT& v : m_values)
        VariantClear(&v);
}

bool CScriptArgs::Convert(const QJSValue& array, QString& error)
{
    const int count = array.property(QStringLiteral("length")).toInt();
    // Sized once: the by-reference arguments point into m_values.
    m_values.resize(size_t(count));
    m_args.resize(size_t(count));
    m_refs.resize(size_t(count));
    for (VARIANT& v : m_values)
        VariantInit(&v);
    for (VARIANT& v : m_args)
        VariantInit(&v);
    for (int i = 0; i < count; ++i) {
        const QJSValue value = array.property(quint32(i));
        VARIANT& arg = m_args[size_t(count - 1 - i)];
        QString why;
        if (value.isArray()) {
            if (value.property(QStringLiteral("length")).toInt() != 1) {
                error =
                    QStringLiteral("argument %1: a reference is a one-element array").arg(i + 1);
                return false;
            }
            if (!ToVariant(value.property(0), m_values[size_t(i)], why)) {
                error = QStringLiteral("argument %1: %2").arg(i + 1).arg(why);
                return false;
            }
            arg.vt = VT_BYREF | VT_VARIANT;
            arg.pvarVal = &m_values[size_t(i)];
            m_refs[size_t(i)] = value;
        } else if (!ToVariant(value, arg, why)) {
            error = QStringLiteral("argument %1: %2").arg(i + 1).arg(why);
            return false;
        }
    }
    m_params = {m_args.empty() ? nullptr : m_args.data(), nullptr, UINT(m_args.size()), 0};
    return true;
}

void CScriptArgs::WriteBack()
{
    for (size_t i = 0; i < m_refs.size(); ++i) {
        if (m_refs[i].isArray())
            m_refs[i].setProperty(0, VariantToScript(m_values[i]));
    }
}

QJSValue VariantToScript(const VARIANT& v)
{
    if (v.vt == (VT_BYREF | VT_VARIANT))
        return v.pvarVal ? VariantToScript(*v.pvarVal) : QJSValue();
    switch (v.vt) {
    case VT_NULL:
        return QJSValue(QJSValue::NullValue);
    case VT_BOOL:
        return QJSValue(v.boolVal != VARIANT_FALSE);
    case VT_BSTR:
        return QJSValue(v.bstrVal ? QString::fromWCharArray(v.bstrVal, int(SysStringLen(v.bstrVal)))
                                  : QString());
    case VT_R8:
        return QJSValue(v.dblVal);
    case VT_R4:
        return QJSValue(double(v.fltVal));
    case VT_I8:
        return QJSValue(double(v.llVal));
    case VT_BYREF | VT_I4:
        return v.plVal ? QJSValue(int(*v.plVal)) : QJSValue();
    default:
        break;
    }
    VARIANT copy;
    VariantInit(&copy);
    if (v.vt != VT_EMPTY && SUCCEEDED(VariantChangeType(&copy, &v, 0, VT_I4)))
        return QJSValue(int(copy.lVal));
    return QJSValue();
}

QString DescribeHResult(HRESULT hr)
{
    static const struct {
        HRESULT hr;
        const char* name;
    } kNames[] = {
        {DISP_E_UNKNOWNINTERFACE, "DISP_E_UNKNOWNINTERFACE"},
        {DISP_E_MEMBERNOTFOUND, "DISP_E_MEMBERNOTFOUND"},
        {DISP_E_PARAMNOTFOUND, "DISP_E_PARAMNOTFOUND"},
        {DISP_E_TYPEMISMATCH, "DISP_E_TYPEMISMATCH"},
        {DISP_E_UNKNOWNNAME, "DISP_E_UNKNOWNNAME"},
        {DISP_E_NONAMEDARGS, "DISP_E_NONAMEDARGS"},
        {DISP_E_BADVARTYPE, "DISP_E_BADVARTYPE"},
        {DISP_E_EXCEPTION, "DISP_E_EXCEPTION"},
        {DISP_E_OVERFLOW, "DISP_E_OVERFLOW"},
        {DISP_E_BADPARAMCOUNT, "DISP_E_BADPARAMCOUNT"},
        {DISP_E_PARAMNOTOPTIONAL, "DISP_E_PARAMNOTOPTIONAL"},
        {E_POINTER, "E_POINTER"},
        {E_INVALIDARG, "E_INVALIDARG"},
        {E_FAIL, "E_FAIL"},
    };
    const QString code = QStringLiteral("0x") +
                         QStringLiteral("%1").arg(quint32(hr), 8, 16, QLatin1Char('0')).toUpper();
    for (const auto& n : kNames) {
        if (n.hr == hr)
            return QStringLiteral("%1 (%2)").arg(QLatin1String(n.name), code);
    }
    return code;
}
