// The control's dispatch interface as a table: every method in DISPID order
// with its name and parameter kinds. The table drives both GetIDsOfNames and
// Invoke, so a name, its DISPID and the arguments it takes cannot disagree.
//
// Arguments arrive as DISPPARAMS holds them (the last one first) and are
// converted by kind before the method runs; a method runs only when every
// argument converted. Threads: the control's thread.
#pragma once

#include <string>

#include "oaidl.h"

class CTarvoPlayerOCXCtrl;
class CPlayerBase;

// What a parameter takes and how it is converted.
enum class OcxArg : unsigned char {
    Long,       // long: anything VariantChangeType makes a VT_I4
    Color,      // OLE_COLOR: any integer, kept as its low 32 bits
    Bool,       // BOOL: anything that makes a VT_BOOL
    Text,       // BSTR: anything that makes a VT_BSTR, passed as UTF-8
    TextOut,    // BSTR the method writes: VT_BYREF | VT_BSTR or VT_BYREF |
                // VT_VARIANT receive the text; a plain value is only read
    InValue,    // long the command may read as a pointer (PlayControl's
                // lInValue): a real number stands for itself, an integer is
                // the value or an address
    OutLong,    // out long: VT_BYREF | VT_I4 (or VT_BYREF | VT_VARIANT); the
                // method writes it
    RefLong,    // ref long: VT_BYREF | VT_I4 (or VT_BYREF | VT_VARIANT
                // holding a VT_I4); the method reads from its address
    Address,    // a pointer the method may be given as null: an integer of
                // up to 64 bits (0 is null)
    AddressOut, // the "CS" form of out and ref longs: an address that must
                // not be null
};

inline constexpr int kOcxMaxArgs = 8;

// The converted arguments of one call.
class COcxArgs {
public:
    LONG Long(int i) const { return m_long[i]; }
    const char* Text(int i) const { return m_text[i].c_str(); }
    // The text may stay empty: a null or empty BSTR is "no text".
    bool HasText(int i) const { return !m_text[i].empty(); }
    // OutLong: the call's own storage (written back afterwards); RefLong,
    // Address, AddressOut: the caller's address (null for Address 0).
    LONG* Ptr(int i) const { return static_cast<LONG*>(m_ptr[i]); }
    void* Raw(int i) const { return m_ptr[i]; }
    bool IsAddress(int i) const { return m_kind[i] == OcxArg::AddressOut; }
    // InValue given as a real number, and its value.
    bool IsReal(int i) const { return m_isReal[i]; }
    double* Real(int i) { return &m_storage[i].real; }
    // The method wrote a rate (a double) into the out storage of i.
    void MarkReal(int i) { m_outReal[i] = true; }
    // TextOut: the text to hand back.
    void SetTextOut(int i, const std::string& text) { m_text[i] = text; }

private:
    friend HRESULT OcxInvoke(CTarvoPlayerOCXCtrl&, DISPID, WORD, DISPPARAMS*, VARIANT*, UINT*);
    friend HRESULT OcxConvertArg(const VARIANT& v, OcxArg kind, COcxArgs& a, int i);
    union Storage {
        LONGLONG whole[2]; // room for an int[4] or a double, aligned
        double real;
    };
    OcxArg m_kind[kOcxMaxArgs] = {};
    LONG m_long[kOcxMaxArgs] = {};
    std::string m_text[kOcxMaxArgs];
    void* m_ptr[kOcxMaxArgs] = {};
    Storage m_storage[kOcxMaxArgs] = {};
    bool m_isReal[kOcxMaxArgs] = {};
    bool m_outReal[kOcxMaxArgs] = {};
};

// What a method does when the control has no player.
enum class OcxNoPlayer : unsigned char {
    Runs,     // the method runs anyway (it needs no player, or makes one)
    Code,     // returns TP_ERR_INVALID_HANDLE (10600)
    MinusOne, // sets the last error to 10600 and returns -1
};

struct OcxMethod {
    DISPID id;
    const wchar_t* name;
    int argCount;
    OcxArg args[kOcxMaxArgs];
    OcxNoPlayer noPlayer;
    // player is the control's player (null only for OcxNoPlayer::Runs).
    LONG (*call)(CTarvoPlayerOCXCtrl& control, CPlayerBase* player, COcxArgs& args);
};

// Every method, in DISPID order (1 the colorBackGround property, then 2-62,
// then AboutBox at -552).
const OcxMethod* OcxMethods(int* count);
// The method of a DISPID, or null.
const OcxMethod* OcxFindMethod(DISPID id);

// Converts argument i of kind into a: S_OK, DISP_E_PARAMNOTOPTIONAL,
// DISP_E_TYPEMISMATCH or E_POINTER.
HRESULT OcxConvertArg(const VARIANT& v, OcxArg kind, COcxArgs& a, int i);

// GetIDsOfNames over the table (names without regard to case; parameter
// names are not known, so every name after the first gives
// DISP_E_UNKNOWNNAME with DISPID_UNKNOWN).
HRESULT OcxGetIDsOfNames(LPOLESTR* names, UINT count, DISPID* ids);
// Invoke over the table: DISP_E_MEMBERNOTFOUND for an unknown DISPID or a
// flag the member does not take, DISP_E_NONAMEDARGS for named arguments to a
// method, DISP_E_BADPARAMCOUNT for a wrong count, DISP_E_PARAMNOTOPTIONAL for
// a missing argument and DISP_E_TYPEMISMATCH for one that does not convert
// (both with *argErr, the index into rgvarg), E_POINTER for an address below
// the first page. The method's result comes back as VT_I4.
HRESULT OcxInvoke(CTarvoPlayerOCXCtrl& control, DISPID id, WORD flags, DISPPARAMS* params,
                  VARIANT* result, UINT* argErr);
