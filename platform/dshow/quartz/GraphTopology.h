// How the filters of a graph hang together: their pins, the order in which state
// changes reach them, and which of them are renderers.
//
// These functions call the filters and their pins (EnumPins, ConnectedTo,
// QueryPinInfo ...) and take no lock of their own; the graph calls them on an
// application thread.
#pragma once

#include <dshow.h>

#include <vector>

#include "InterfacePtr.h"

using FilterRefs = std::vector<CInterfacePtr<IBaseFilter>>;
using PinRefs = std::vector<CInterfacePtr<IPin>>;

// The filter's pins in its enumeration order (all of them, or one direction).
PinRefs TvFilterPins(IBaseFilter* filter);
PinRefs TvFilterPins(IBaseFilter* filter, PIN_DIRECTION dir);

// The filter that owns the pin (null when the pin does not say).
CInterfacePtr<IBaseFilter> TvPinFilter(IPin* pin);
// The pin at the other end of a connection, or empty.
CInterfacePtr<IPin> TvConnectedPin(IPin* pin);

// The filters ordered so that every filter comes before the filters upstream of
// it: renderers first, sources last. Filters that are not connected keep their
// relative order. Only connections between filters of `filters` count.
FilterRefs TvSortDownstreamFirst(const FilterRefs& filters);

// A renderer: a filter that says so through IAMFilterMiscFlags or, when it does
// not have that interface, one with input pins and no output pin.
bool TvIsRenderer(IBaseFilter* filter);
// A renderer with at least one connected input pin: one that will report
// EC_COMPLETE when its stream ends.
bool TvIsConnectedRenderer(IBaseFilter* filter);
// A filter with a connected input pin whose media type is audio.
bool TvHasAudioInput(IBaseFilter* filter);
