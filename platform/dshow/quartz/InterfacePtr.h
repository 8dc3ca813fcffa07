// A holder of one counted interface reference, for the graph manager's own use.
#pragma once

#include <objbase.h>

#include <utility>

template <class T> class CInterfacePtr {
public:
    CInterfacePtr() = default;
    // Takes a new reference to p.
    explicit CInterfacePtr(T* p) : m_p(p)
    {
        if (m_p)
            m_p->AddRef();
    }
    CInterfacePtr(const CInterfacePtr& other) : CInterfacePtr(other.m_p) {}
    CInterfacePtr(CInterfacePtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    ~CInterfacePtr() { Reset(); }

    CInterfacePtr& operator=(CInterfacePtr other) noexcept
    {
        std::swap(m_p, other.m_p);
        return *this;
    }

    // Asks `from` for T; empty when it does not offer it.
    static CInterfacePtr Query(IUnknown* from, REFIID iid)
    {
        CInterfacePtr result;
        if (from && FAILED(from->QueryInterface(iid, reinterpret_cast<void**>(&result.m_p))))
            result.m_p = nullptr;
        return result;
    }

    void Reset()
    {
        if (T* p = std::exchange(m_p, nullptr))
            p->Release();
    }
    // For out parameters that return a reference: releases what is held first.
    T** Receive()
    {
        Reset();
        return &m_p;
    }
    // Hands the reference to the caller.
    T* Detach() { return std::exchange(m_p, nullptr); }

    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

private:
    T* m_p = nullptr;
};

// TRUE when both pointers lead to the same COM object (same IUnknown identity).
inline bool TvSameObject(IUnknown* a, IUnknown* b)
{
    if (a == b)
        return true;
    if (!a || !b)
        return false;
    IUnknown* ua = nullptr;
    IUnknown* ub = nullptr;
    a->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&ua));
    b->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&ub));
    const bool same = ua && ua == ub;
    if (ua)
        ua->Release();
    if (ub)
        ub->Release();
    return same;
}
