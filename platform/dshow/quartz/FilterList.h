// The filters of a graph with their unique names.
//
// Not thread-safe by itself: every call is made under the graph lock.
#pragma once

#include <dshow.h>

#include <string>
#include <vector>

#include "InterfacePtr.h"

class CFilterList {
public:
    struct Entry {
        CInterfacePtr<IBaseFilter> filter;
        std::wstring name;
    };

    // Picks the name a new filter gets. A free requested name is taken as it is
    // (S_OK). A taken one gets the first free suffix " 0001" .. " 9999"
    // (VFW_S_DUPLICATE_NAME); no name at all gets the first free "0001" ..
    // "9999" (S_OK). VFW_E_DUPLICATE_NAME when every candidate is taken.
    // Names are cut to fit MAX_FILTER_NAME with their terminator.
    HRESULT PickName(LPCWSTR requested, std::wstring* name) const;

    // Puts the filter first (the list runs newest first) and takes a reference.
    void Insert(IBaseFilter* filter, std::wstring name);
    // Drops the filter and its reference; false when it was not in the list.
    bool Remove(IBaseFilter* filter);

    bool Contains(IBaseFilter* filter) const;
    // Finds the filter behind any of its interfaces (same object identity).
    IBaseFilter* FindObject(IUnknown* object) const;
    // The filter of that exact name, or null. Not referenced.
    IBaseFilter* FindByName(LPCWSTR name) const;

    // Newest first, each with its own reference.
    std::vector<CInterfacePtr<IBaseFilter>> Snapshot() const;
    const std::vector<Entry>& Entries() const { return m_entries; }
    bool Empty() const { return m_entries.empty(); }

    // Changes with every insertion and removal (enumerators compare it).
    LONG Version() const { return m_version; }

private:
    bool NameTaken(const std::wstring& name) const;

    std::vector<Entry> m_entries; // newest first
    LONG m_version = 0;
};
