// Graph-building helpers shared by the player classes. Application thread (or the
// format poll, under the player's lock).
#pragma once

#include <string>

#include <dshow.h>

// Releases *pp when set and clears it.
template <typename T> void SafeRelease(T*& p)
{
    if (p) {
        p->Release();
        p = nullptr;
    }
}

// The filter name as ANSI text (UTF-8 on this platform).
std::string TpNarrowName(LPCWSTR name);

// Puts a filter into the graph under name. With *ppFilter already set: nothing
// when the graph already holds a filter of that name, else AddFilter. Otherwise
// the filter is created from clsid first (stored in *ppFilter, owned by the
// caller). Creation and insertion failures show their message box (the audio
// warning for the DirectSound renderer) and give E_FAIL; success gives 0.
HRESULT AddFilterByClsid(IFilterGraph* graph, IBaseFilter** ppFilter, LPCWSTR name, REFCLSID clsid);

// The index-th pin (from 0) of the given direction, add-referenced, or null;
// E_FAIL when the filter has fewer.
HRESULT GetPin(IBaseFilter* filter, PIN_DIRECTION direction, int index, IPin** ppPin);

// Connects output pin outIndex of upstream to input pin inIndex of downstream
// with IFilterGraph::ConnectDirect; E_FAIL when either pin is missing.
HRESULT ConnectFilters(IFilterGraph* graph, IBaseFilter* upstream, int outIndex,
                       IBaseFilter* downstream, int inIndex);

// Frees a media type handed out by pointer (its format block, its object and the
// record itself).
void TpDeleteMediaType(AM_MEDIA_TYPE* mediaType);

// QueryInterface into a typed pointer: the interface (owned reference) or null.
template <typename T> T* TpQuery(IUnknown* object, REFIID iid)
{
    T* itf = nullptr;
    if (!object || FAILED(object->QueryInterface(iid, reinterpret_cast<void**>(&itf))))
        return nullptr;
    return itf;
}

// The graph's filter of that name (owned reference), or null.
IBaseFilter* TpFindFilter(IGraphBuilder* graph, LPCWSTR name);

// Appends one statistics line at buffer + used when it fits with its
// terminating zero in size bytes; TP_ERR_OUT_OF_MEMORY (nothing written)
// otherwise. 0 on success, used advanced past the line.
int TpAppendLine(char* buffer, int size, int& used, const char* line);

// Seconds of IMediaPosition as whole milliseconds, truncated; values beyond
// the int range (or not a number) are clamped instead of being undefined.
int TpSecondsToMs(double seconds);
