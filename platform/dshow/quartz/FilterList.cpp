#include "FilterList.h"

#include <wchar.h>

#include <algorithm>

namespace {

constexpr size_t kMaxNameLength = MAX_FILTER_NAME - 1;
constexpr int kSuffixCount = 9999;

std::wstring NumberText(int n)
{
    wchar_t digits[8];
    swprintf(digits, 8, L"%04d", n);
    return digits;
}

} // namespace

bool CFilterList::NameTaken(const std::wstring& name) const
{
    return std::any_of(m_entries.begin(), m_entries.end(),
                       [&](const Entry& e) { return e.name == name; });
}

HRESULT CFilterList::PickName(LPCWSTR requested, std::wstring* name) const
{
    if (requested && *requested) {
        std::wstring base(requested);
        if (base.size() > kMaxNameLength)
            base.resize(kMaxNameLength);
        if (!NameTaken(base)) {
            *name = base;
            return S_OK;
        }
        // Room for " nnnn".
        if (base.size() > kMaxNameLength - 5)
            base.resize(kMaxNameLength - 5);
        for (int n = 1; n <= kSuffixCount; ++n) {
            std::wstring candidate = base + L" " + NumberText(n);
            if (!NameTaken(candidate)) {
                *name = std::move(candidate);
                return VFW_S_DUPLICATE_NAME;
            }
        }
        return VFW_E_DUPLICATE_NAME;
    }
    for (int n = 1; n <= kSuffixCount; ++n) {
        std::wstring candidate = NumberText(n);
        if (!NameTaken(candidate)) {
            *name = std::move(candidate);
            return S_OK;
        }
    }
    return VFW_E_DUPLICATE_NAME;
}

void CFilterList::Insert(IBaseFilter* filter, std::wstring name)
{
    m_entries.insert(m_entries.begin(), Entry{CInterfacePtr<IBaseFilter>(filter), std::move(name)});
    ++m_version;
}

bool CFilterList::Remove(IBaseFilter* filter)
{
    auto it = std::find_if(m_entries.begin(), m_entries.end(),
                           [&](const Entry& e) { return e.filter.Get() == filter; });
    if (it == m_entries.end())
        return false;
    // Released after the entry has left the list, so a filter that calls back
    // into the graph from its destructor sees a consistent list.
    CInterfacePtr<IBaseFilter> last = std::move(it->filter);
    m_entries.erase(it);
    ++m_version;
    return true;
}

bool CFilterList::Contains(IBaseFilter* filter) const
{
    return std::any_of(m_entries.begin(), m_entries.end(),
                       [&](const Entry& e) { return e.filter.Get() == filter; });
}

IBaseFilter* CFilterList::FindObject(IUnknown* object) const
{
    if (!object)
        return nullptr;
    for (const Entry& e : m_entries) {
        if (static_cast<IUnknown*>(e.filter.Get()) == object)
            return e.filter.Get();
    }
    for (const Entry& e : m_entries) {
        if (TvSameObject(e.filter.Get(), object))
            return e.filter.Get();
    }
    return nullptr;
}

IBaseFilter* CFilterList::FindByName(LPCWSTR name) const
{
    for (const Entry& e : m_entries) {
        if (e.name == name)
            return e.filter.Get();
    }
    return nullptr;
}

std::vector<CInterfacePtr<IBaseFilter>> CFilterList::Snapshot() const
{
    std::vector<CInterfacePtr<IBaseFilter>> result;
    result.reserve(m_entries.size());
    for (const Entry& e : m_entries)
        result.push_back(e.filter);
    return result;
}
