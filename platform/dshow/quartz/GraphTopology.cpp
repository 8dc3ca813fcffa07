#include "GraphTopology.h"

#include <algorithm>
#include <functional>

PinRefs TvFilterPins(IBaseFilter* filter)
{
    PinRefs pins;
    CInterfacePtr<IEnumPins> pinEnum;
    if (!filter || FAILED(filter->EnumPins(pinEnum.Receive())) || !pinEnum)
        return pins;
    for (;;) {
        IPin* pin = nullptr;
        ULONG fetched = 0;
        if (pinEnum->Next(1, &pin, &fetched) != S_OK || fetched != 1 || !pin)
            break;
        CInterfacePtr<IPin> held;
        *held.Receive() = pin; // takes over the enumerator's reference
        pins.push_back(std::move(held));
    }
    return pins;
}

PinRefs TvFilterPins(IBaseFilter* filter, PIN_DIRECTION dir)
{
    PinRefs pins;
    for (CInterfacePtr<IPin>& pin : TvFilterPins(filter)) {
        PIN_DIRECTION d;
        if (SUCCEEDED(pin->QueryDirection(&d)) && d == dir)
            pins.push_back(std::move(pin));
    }
    return pins;
}

CInterfacePtr<IBaseFilter> TvPinFilter(IPin* pin)
{
    CInterfacePtr<IBaseFilter> filter;
    PIN_INFO info{};
    if (pin && SUCCEEDED(pin->QueryPinInfo(&info)))
        *filter.Receive() = info.pFilter; // QueryPinInfo added the reference
    return filter;
}

CInterfacePtr<IPin> TvConnectedPin(IPin* pin)
{
    CInterfacePtr<IPin> peer;
    if (pin && FAILED(pin->ConnectedTo(peer.Receive())))
        peer.Reset();
    return peer;
}

FilterRefs TvSortDownstreamFirst(const FilterRefs& filters)
{
    const size_t count = filters.size();
    // Index of each filter's downstream neighbours.
    std::vector<std::vector<size_t>> downstream(count);
    auto indexOf = [&](IBaseFilter* f) -> size_t {
        for (size_t i = 0; i < count; ++i) {
            if (filters[i].Get() == f)
                return i;
        }
        for (size_t i = 0; i < count; ++i) {
            if (TvSameObject(filters[i].Get(), f))
                return i;
        }
        return count;
    };
    for (size_t i = 0; i < count; ++i) {
        for (const CInterfacePtr<IPin>& out : TvFilterPins(filters[i].Get(), PINDIR_OUTPUT)) {
            CInterfacePtr<IPin> peer = TvConnectedPin(out.Get());
            if (!peer)
                continue;
            CInterfacePtr<IBaseFilter> next = TvPinFilter(peer.Get());
            const size_t j = indexOf(next.Get());
            if (j < count && j != i)
                downstream[i].push_back(j);
        }
    }

    // Depth first along the connections; a filter is placed once everything
    // downstream of it has been. The marks also stop at a (faulty) cycle.
    FilterRefs sorted;
    sorted.reserve(count);
    std::vector<bool> visited(count, false);
    std::function<void(size_t)> visit = [&](size_t i) {
        visited[i] = true;
        for (size_t j : downstream[i]) {
            if (!visited[j])
                visit(j);
        }
        sorted.push_back(filters[i]);
    };
    for (size_t i = 0; i < count; ++i) {
        if (!visited[i])
            visit(i);
    }
    return sorted;
}

bool TvIsRenderer(IBaseFilter* filter)
{
    CInterfacePtr<IAMFilterMiscFlags> flags =
        CInterfacePtr<IAMFilterMiscFlags>::Query(filter, IID_IAMFilterMiscFlags);
    if (flags)
        return (flags->GetMiscFlags() & AM_FILTER_MISC_FLAGS_IS_RENDERER) != 0;
    bool hasInput = false;
    for (const CInterfacePtr<IPin>& pin : TvFilterPins(filter)) {
        PIN_DIRECTION dir;
        if (FAILED(pin->QueryDirection(&dir)))
            continue;
        if (dir == PINDIR_OUTPUT)
            return false;
        hasInput = true;
    }
    return hasInput;
}

bool TvIsConnectedRenderer(IBaseFilter* filter)
{
    if (!TvIsRenderer(filter))
        return false;
    for (const CInterfacePtr<IPin>& pin : TvFilterPins(filter, PINDIR_INPUT)) {
        if (TvConnectedPin(pin.Get()))
            return true;
    }
    return false;
}

bool TvHasAudioInput(IBaseFilter* filter)
{
    for (const CInterfacePtr<IPin>& pin : TvFilterPins(filter, PINDIR_INPUT)) {
        AM_MEDIA_TYPE mt{};
        if (pin->ConnectionMediaType(&mt) != S_OK)
            continue;
        const bool audio = IsEqualGUID(mt.majortype, MEDIATYPE_Audio);
        CoTaskMemFree(mt.pbFormat);
        if (mt.pUnk)
            mt.pUnk->Release();
        if (audio)
            return true;
    }
    return false;
}
