// Small helpers over COM interfaces for tests.
#include "TvInterfaces.h"

#include <cwchar>

IPin* FirstPin(IBaseFilter* filter)
{
    IEnumPins* pins = nullptr;
    IPin* pin = nullptr;
    if (SUCCEEDED(filter->EnumPins(&pins))) {
        if (pins->Next(1, &pin, nullptr) != S_OK)
            pin = nullptr;
        pins->Release();
    }
    return pin;
}

IPin* FindPin(IBaseFilter* filter, PIN_DIRECTION direction, const wchar_t* name)
{
    IEnumPins* pins = nullptr;
    if (FAILED(filter->EnumPins(&pins)))
        return nullptr;
    IPin* found = nullptr;
    IPin* pin = nullptr;
    while (!found && pins->Next(1, &pin, nullptr) == S_OK) {
        PIN_INFO info{};
        if (SUCCEEDED(pin->QueryPinInfo(&info))) {
            if (info.pFilter)
                info.pFilter->Release();
            if (info.dir == direction && (!name || wcscmp(info.achName, name) == 0)) {
                found = pin;
                continue;
            }
        }
        pin->Release();
    }
    pins->Release();
    return found;
}

bool SameObject(IUnknown* a, IUnknown* b)
{
    IUnknown* ua = nullptr;
    IUnknown* ub = nullptr;
    if (a)
        a->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&ua));
    if (b)
        b->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&ub));
    const bool same = ua && ua == ub;
    if (ua)
        ua->Release();
    if (ub)
        ub->Release();
    return same;
}
