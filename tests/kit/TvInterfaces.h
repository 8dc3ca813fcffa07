// Small helpers over COM interfaces for tests. Every pointer they return is
// add-referenced: the caller releases it.
#pragma once

#include <gtest/gtest.h>

#include <streams.h>

// The interface, or null when the object does not offer it (or is null).
template <class T, class U> T* Query(U* object, REFIID iid)
{
    T* out = nullptr;
    if (!object || FAILED(object->QueryInterface(iid, reinterpret_cast<void**>(&out))))
        return nullptr;
    return out;
}

// A new object through the registry (CoCreateInstance, in process); a failed
// expectation and null when it cannot be created.
template <class T> T* CreateInstance(REFCLSID clsid, REFIID iid)
{
    T* out = nullptr;
    const HRESULT hr =
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void**>(&out));
    EXPECT_EQ(hr, S_OK);
    return out;
}

// The filter's first pin, or null.
IPin* FirstPin(IBaseFilter* filter);
// The filter's first pin of that direction with that name (any name when
// null), or null.
IPin* FindPin(IBaseFilter* filter, PIN_DIRECTION direction, const wchar_t* name = nullptr);
// True when both pointers lead to the same object.
bool SameObject(IUnknown* a, IUnknown* b);
