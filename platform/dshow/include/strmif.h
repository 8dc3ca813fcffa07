// DirectShow filter and graph interfaces.
//
// Each interface lists its methods in DirectShow's slot order after the three
// IUnknown slots (and after its base interface's slots), so that the vtable of a
// class implementing one is laid out exactly as a DirectShow binary expects. No
// interface has a virtual destructor: objects are released through Release.
//
// Ownership follows COM: an interface pointer returned through an out parameter is
// add-referenced and belongs to the caller; an AM_MEDIA_TYPE returned by pointer
// (IEnumMediaTypes::Next) was allocated with CoTaskMemAlloc, like its format block.
#pragma once

#include <objbase.h>

#include "vfwmsgs.h"
#include "win32/types.h"

typedef LONGLONG REFERENCE_TIME;
typedef double REFTIME;
typedef DWORD_PTR HSEMAPHORE;
typedef DWORD_PTR HEVENT;

#define MAX_PIN_NAME 128
#define MAX_FILTER_NAME 128

typedef enum _FilterState {
    State_Stopped = 0,
    State_Paused = 1,
    State_Running = 2,
} FILTER_STATE;

typedef enum _PinDirection {
    PINDIR_INPUT = 0,
    PINDIR_OUTPUT = 1,
} PIN_DIRECTION;

// A media type. pbFormat (cbFormat bytes, of the layout formattype names) and the
// record itself, when handed out by pointer, are CoTaskMemAlloc blocks; pUnk is an
// optional add-referenced object.
typedef struct _AMMediaType {
    GUID majortype;
    GUID subtype;
    BOOL bFixedSizeSamples;
    BOOL bTemporalCompression;
    ULONG lSampleSize;
    GUID formattype;
    IUnknown* pUnk;
    ULONG cbFormat;
    BYTE* pbFormat;
} AM_MEDIA_TYPE;

struct IBaseFilter;
struct IEnumFilters;
struct IMediaSample;
struct IMemAllocator;
struct IEnumMediaTypes;
struct IEnumPins;
struct IFilterGraph;
struct IGraphBuilder;
struct IPin;
struct IReferenceClock;

// pFilter is add-referenced by QueryPinInfo; the caller releases it.
typedef struct _PinInfo {
    IBaseFilter* pFilter;
    PIN_DIRECTION dir;
    WCHAR achName[MAX_PIN_NAME];
} PIN_INFO;

// pGraph is add-referenced by QueryFilterInfo (null when not in a graph).
typedef struct _FilterInfo {
    WCHAR achName[MAX_FILTER_NAME];
    IFilterGraph* pGraph;
} FILTER_INFO;

// {0000010C-0000-0000-C000-000000000046}
DEFINE_GUID(IID_IPersist, 0x0000010c, 0x0000, 0x0000, 0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
            0x46);
struct IPersist : public IUnknown {
    virtual HRESULT GetClassID(CLSID* pClassID) = 0;
};

// {56A86897-0AD4-11CE-B03A-0020AF0BA770}
DEFINE_GUID(IID_IReferenceClock, 0x56a86897, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b,
            0xa7, 0x70);
struct IReferenceClock : public IUnknown {
    virtual HRESULT GetTime(REFERENCE_TIME* pTime) = 0;
    virtual HRESULT AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime, HEVENT hEvent,
                               DWORD_PTR* pdwAdviseCookie) = 0;
    virtual HRESULT AdvisePeriodic(REFERENCE_TIME startTime, REFERENCE_TIME periodTime,
                                   HSEMAPHORE hSemaphore, DWORD_PTR* pdwAdviseCookie) = 0;
    virtual HRESULT Unadvise(DWORD_PTR dwAdviseCookie) = 0;
};

// {56A86899-0AD4-11CE-B03A-0020AF0BA770}
DEFINE_GUID(IID_IMediaFilter, 0x56a86899, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7,
            0x70);
struct IMediaFilter : public IPersist {
    virtual HRESULT Stop() = 0;
    virtual HRESULT Pause() = 0;
    virtual HRESULT Run(REFERENCE_TIME tStart) = 0;
    virtual HRESULT GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State) = 0;
    virtual HRESULT SetSyncSource(IReferenceClock* pClock) = 0;
    virtual HRESULT GetSyncSource(IReferenceClock** pClock) = 0;
};

// {56A86895-0AD4-11CE-B03A-0020AF0BA770}
DEFINE_GUID(IID_IBaseFilter, 0x56a86895, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7,
            0x70);
struct IBaseFilter : public IMediaFilter {
    virtual HRESULT EnumPins(IEnumPins** ppEnum) = 0;
    virtual HRESULT FindPin(LPCWSTR Id, IPin** ppPin) = 0;
    virtual HRESULT QueryFilterInfo(FILTER_INFO* pInfo) = 0;
    virtual HRESULT JoinFilterGraph(IFilterGraph* pGraph, LPCWSTR pName) = 0;
    virtual HRESULT QueryVendorInfo(LPWSTR* pVendorInfo) = 0;
};

// {56A86891-0AD4-11CE-B03A-0020AF0BA770}
DEFINE_GUID(IID_IPin, 0x56a86891, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70);
struct IPin : public IUnknown {
    virtual HRESULT Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) = 0;
    virtual HRESULT ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt) = 0;
    virtual HRESULT Disconnect() = 0;
    virtual HRESULT ConnectedTo(IPin** pPin) = 0;
    virtual HRESULT ConnectionMediaType(AM_MEDIA_TYPE* pmt) = 0;
    virtual HRESULT QueryPinInfo(PIN_INFO* pInfo) = 0;
    virtual HRESULT QueryDirection(PIN_DIRECTION* pPinDir) = 0;
    virtual HRESULT QueryId(LPWSTR* Id) = 0;
    virtual HRESULT QueryAccept(const AM_MEDIA_TYPE* pmt) = 0;
    virtual HRESULT EnumMediaTypes(IEnumMediaTypes** ppEnum) = 0;
    virtual HRESULT QueryInternalConnections(IPin** apPin, ULONG* nPin) = 0;
    virtual HRESULT EndOfStream() = 0;
    virtual HRESULT BeginFlush() = 0;
    virtual HRESULT EndFlush() = 0;
    virtual HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) = 0;
};

// {56A86892-0AD4-11CE-B03A-0020AF0BA770}
DEFINE_GUID(IID_IEnumPins, 0x56a86892, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7,
            0x70);
struct IEnumPins : public IUnknown {
    virtual HRESULT Next(ULONG cPins, IPin** ppPins, ULONG* pcFetched) = 0;
    virtual HRESULT Skip(ULONG cPins) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumPins** ppEnum) = 0;
};

// {89C31040-846B-11CE-97D3-00AA0055595A}
DEFINE_GUID(IID_IEnumMediaTypes, 0x89c31040, 0x846b, 0x11ce, 0x97, 0xd3, 0x00, 0xaa, 0x00, 0x55,
            0x59, 0x5a);
struct IEnumMediaTypes : public IUnknown {
    virtual HRESULT Next(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes, ULONG* pcFetched) = 0;
    virtual HRESULT Skip(ULONG cMediaTypes) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumMediaTypes** ppEnum) = 0;
};

// {56A86893-0AD4-11CE-B03A-0020AF0BA770}
DEFINE_GUID(IID_IEnumFilters, 0x56a86893, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7,
            0x70);
struct IEnumFilters : public IUnknown {
    virtual HRESULT Next(ULONG cFilters, IBaseFilter** ppFilter, ULONG* pcFetched) = 0;
    virtual HRESULT Skip(ULONG cFilters) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumFilters** ppEnum) = 0;
};

// {56A8689F-0AD4-11CE-B03A-0020AF0BA770}
DEFINE_GUID(IID_IFilterGraph, 0x56a8689f, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7,
            0x70);
struct IFilterGraph : public IUnknown {
    virtual HRESULT AddFilter(IBaseFilter* pFilter, LPCWSTR pName) = 0;
    virtual HRESULT RemoveFilter(IBaseFilter* pFilter) = 0;
    virtual HRESULT EnumFilters(IEnumFilters** ppEnum) = 0;
    virtual HRESULT FindFilterByName(LPCWSTR pName, IBaseFilter** ppFilter) = 0;
    virtual HRESULT ConnectDirect(IPin* ppinOut, IPin* ppinIn, const AM_MEDIA_TYPE* pmt) = 0;
    virtual HRESULT Reconnect(IPin* ppin) = 0;
    virtual HRESULT Disconnect(IPin* ppin) = 0;
    virtual HRESULT SetDefaultSyncSource() = 0;
};

// {56A868A9-0AD4-11CE-B03A-0020AF0BA770}
DEFINE_GUID(IID_IGraphBuilder, 0x56a868a9, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7,
            0x70);
struct IGraphBuilder : public IFilterGraph {
    virtual HRESULT Connect(IPin* ppinOut, IPin* ppinIn) = 0;
    virtual HRESULT Render(IPin* ppinOut) = 0;
    virtual HRESULT RenderFile(LPCWSTR lpcwstrFile, LPCWSTR lpcwstrPlayList) = 0;
    virtual HRESULT AddSourceFilter(LPCWSTR lpcwstrFileName, LPCWSTR lpcwstrFilterName,
                                    IBaseFilter** ppFilter) = 0;
    virtual HRESULT SetLogFile(DWORD_PTR hFile) = 0;
    virtual HRESULT Abort() = 0;
    virtual HRESULT ShouldOperationContinue() = 0;
};

// A pin that knows how to render itself (or to be rendered into) on its own.
// {56A868BF-0AD4-11CE-B03A-0020AF0BA770}
DEFINE_GUID(IID_IStreamBuilder, 0x56a868bf, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b,
            0xa7, 0x70);
struct IStreamBuilder : public IUnknown {
    virtual HRESULT Render(IPin* ppinOut, IGraphBuilder* pGraph) = 0;
    virtual HRESULT Backout(IPin* ppinOut, IGraphBuilder* pGraph) = 0;
};

// {56A868A6-0AD4-11CE-B03A-0020AF0BA770}
DEFINE_GUID(IID_IFileSourceFilter, 0x56a868a6, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b,
            0xa7, 0x70);
struct IFileSourceFilter : public IUnknown {
    virtual HRESULT Load(LPCOLESTR pszFileName, const AM_MEDIA_TYPE* pmt) = 0;
    virtual HRESULT GetCurFile(LPOLESTR* ppszFileName, AM_MEDIA_TYPE* pmt) = 0;
};

// {36B73880-C2C8-11CF-8B46-00805F6CEF60}
DEFINE_GUID(IID_IMediaSeeking, 0x36b73880, 0xc2c8, 0x11cf, 0x8b, 0x46, 0x00, 0x80, 0x5f, 0x6c, 0xef,
            0x60);
struct IMediaSeeking : public IUnknown {
    virtual HRESULT GetCapabilities(DWORD* pCapabilities) = 0;
    virtual HRESULT CheckCapabilities(DWORD* pCapabilities) = 0;
    virtual HRESULT IsFormatSupported(const GUID* pFormat) = 0;
    virtual HRESULT QueryPreferredFormat(GUID* pFormat) = 0;
    virtual HRESULT GetTimeFormat(GUID* pFormat) = 0;
    virtual HRESULT IsUsingTimeFormat(const GUID* pFormat) = 0;
    virtual HRESULT SetTimeFormat(const GUID* pFormat) = 0;
    virtual HRESULT GetDuration(LONGLONG* pDuration) = 0;
    virtual HRESULT GetStopPosition(LONGLONG* pStop) = 0;
    virtual HRESULT GetCurrentPosition(LONGLONG* pCurrent) = 0;
    virtual HRESULT ConvertTimeFormat(LONGLONG* pTarget, const GUID* pTargetFormat, LONGLONG Source,
                                      const GUID* pSourceFormat) = 0;
    virtual HRESULT SetPositions(LONGLONG* pCurrent, DWORD dwCurrentFlags, LONGLONG* pStop,
                                 DWORD dwStopFlags) = 0;
    virtual HRESULT GetPositions(LONGLONG* pCurrent, LONGLONG* pStop) = 0;
    virtual HRESULT GetAvailable(LONGLONG* pEarliest, LONGLONG* pLatest) = 0;
    virtual HRESULT SetRate(double dRate) = 0;
    virtual HRESULT GetRate(double* pdRate) = 0;
    virtual HRESULT GetPreroll(LONGLONG* pllPreroll) = 0;
};

// {E46A9787-2B71-444D-A4B5-1FAB7B708D6A}
DEFINE_GUID(IID_IVideoFrameStep, 0xe46a9787, 0x2b71, 0x444d, 0xa4, 0xb5, 0x1f, 0xab, 0x7b, 0x70,
            0x8d, 0x6a);
struct IVideoFrameStep : public IUnknown {
    virtual HRESULT Step(DWORD dwFrames, IUnknown* pStepObject) = 0;
    virtual HRESULT CanStep(LONG bMultiple, IUnknown* pStepObject) = 0;
    virtual HRESULT CancelStep() = 0;
};

// Rendering statistics of a video renderer. The average frame rate is in
// hundredths of a frame per second; jitter and sync offset are in milliseconds.
// {1BD0ECB0-F8E2-11CE-AAC6-0020AF0B99A3}
DEFINE_GUID(IID_IQualProp, 0x1bd0ecb0, 0xf8e2, 0x11ce, 0xaa, 0xc6, 0x00, 0x20, 0xaf, 0x0b, 0x99,
            0xa3);
struct IQualProp : public IUnknown {
    virtual HRESULT get_FramesDroppedInRenderer(int* pcFrames) = 0;
    virtual HRESULT get_FramesDrawn(int* pcFramesDrawn) = 0;
    virtual HRESULT get_AvgFrameRate(int* piAvgFrameRate) = 0;
    virtual HRESULT get_Jitter(int* iJitter) = 0;
    virtual HRESULT get_AvgSyncOffset(int* piAvg) = 0;
    virtual HRESULT get_DevSyncOffset(int* piDev) = 0;
};

// Aspect-ratio modes of the video mixing renderer.
#define VMR_ARMODE_NONE 0
#define VMR_ARMODE_LETTER_BOX 1

// {EDE80B5C-BAD6-4623-B537-65586C9F8DFD}
DEFINE_GUID(IID_IVMRAspectRatioControl, 0xede80b5c, 0xbad6, 0x4623, 0xb5, 0x37, 0x65, 0x58, 0x6c,
            0x9f, 0x8d, 0xfd);
struct IVMRAspectRatioControl : public IUnknown {
    virtual HRESULT GetAspectRatioMode(LPDWORD lpdwARMode) = 0;
    virtual HRESULT SetAspectRatioMode(DWORD dwARMode) = 0;
};

// ---- Samples and allocators ----

// Buffer count and size, alignment of each buffer's data (a power of two) and
// the bytes reserved in front of the data.
typedef struct _AllocatorProperties {
    LONG cBuffers;
    LONG cbBuffer;
    LONG cbAlign;
    LONG cbPrefix;
} ALLOCATOR_PROPERTIES;

// IMemAllocator::GetBuffer flags.
#define AM_GBF_PREVFRAMESKIPPED 1
#define AM_GBF_NOTASYNCPOINT 2
#define AM_GBF_NOWAIT 4
#define AM_GBF_NODDSURFACELOCK 8

// {56A8689C-0AD4-11CE-B03A-0020AF0BA770}
DEFINE_GUID(IID_IMemAllocator, 0x56a8689c, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7,
            0x70);
struct IMemAllocator : public IUnknown {
    // Only while decommitted with no buffer out; pActual receives what was granted.
    virtual HRESULT SetProperties(ALLOCATOR_PROPERTIES* pRequest,
                                  ALLOCATOR_PROPERTIES* pActual) = 0;
    virtual HRESULT GetProperties(ALLOCATOR_PROPERTIES* pProps) = 0;
    virtual HRESULT Commit() = 0;
    // Wakes every thread blocked in GetBuffer (they get VFW_E_NOT_COMMITTED).
    virtual HRESULT Decommit() = 0;
    // Blocks while every buffer is out (unless AM_GBF_NOWAIT).
    virtual HRESULT GetBuffer(IMediaSample** ppBuffer, REFERENCE_TIME* pStartTime,
                              REFERENCE_TIME* pEndTime, DWORD dwFlags) = 0;
    virtual HRESULT ReleaseBuffer(IMediaSample* pBuffer) = 0;
};

// {56A8689A-0AD4-11CE-B03A-0020AF0BA770}
DEFINE_GUID(IID_IMediaSample, 0x56a8689a, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7,
            0x70);
struct IMediaSample : public IUnknown {
    virtual HRESULT GetPointer(BYTE** ppBuffer) = 0;
    virtual LONG GetSize() = 0;
    // S_OK with both times, VFW_S_NO_STOP_TIME with the start only (stop = start + 1),
    // VFW_E_SAMPLE_TIME_NOT_SET without times.
    virtual HRESULT GetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) = 0;
    // A null pTimeStart clears the times; a null pTimeEnd sets the start only.
    virtual HRESULT SetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) = 0;
    virtual HRESULT IsSyncPoint() = 0;
    virtual HRESULT SetSyncPoint(BOOL bIsSyncPoint) = 0;
    virtual HRESULT IsPreroll() = 0;
    virtual HRESULT SetPreroll(BOOL bIsPreroll) = 0;
    virtual LONG GetActualDataLength() = 0;
    virtual HRESULT SetActualDataLength(LONG length) = 0;
    // S_FALSE and *ppMediaType null when the type did not change; else a copy the
    // caller frees with DeleteMediaType.
    virtual HRESULT GetMediaType(AM_MEDIA_TYPE** ppMediaType) = 0;
    virtual HRESULT SetMediaType(AM_MEDIA_TYPE* pMediaType) = 0;
    virtual HRESULT IsDiscontinuity() = 0;
    virtual HRESULT SetDiscontinuity(BOOL bDiscontinuity) = 0;
    virtual HRESULT GetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) = 0;
    virtual HRESULT SetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) = 0;
};

// AM_SAMPLE2_PROPERTIES::dwSampleFlags.
#define AM_SAMPLE_SPLICEPOINT 0x1
#define AM_SAMPLE_PREROLL 0x2
#define AM_SAMPLE_DATADISCONTINUITY 0x4
#define AM_SAMPLE_TYPECHANGED 0x8
#define AM_SAMPLE_TIMEVALID 0x10
#define AM_SAMPLE_TIMEDISCONTINUITY 0x40
#define AM_SAMPLE_FLUSH_ON_PAUSE 0x80
#define AM_SAMPLE_STOPVALID 0x100
#define AM_SAMPLE_ENDOFSTREAM 0x200
#define AM_STREAM_MEDIA 0
#define AM_STREAM_CONTROL 1

typedef struct tagAM_SAMPLE2_PROPERTIES {
    DWORD cbData; // bytes of this record the caller passes or wants
    DWORD dwTypeSpecificFlags;
    DWORD dwSampleFlags;
    LONG lActual;
    REFERENCE_TIME tStart;
    REFERENCE_TIME tStop;
    DWORD dwStreamId;
    AM_MEDIA_TYPE* pMediaType;
    BYTE* pbBuffer;
    LONG cbBuffer;
} AM_SAMPLE2_PROPERTIES;

// {36B73884-C2C8-11CF-8B46-00805F6CEF60}
DEFINE_GUID(IID_IMediaSample2, 0x36b73884, 0xc2c8, 0x11cf, 0x8b, 0x46, 0x00, 0x80, 0x5f, 0x6c, 0xef,
            0x60);
struct IMediaSample2 : public IMediaSample {
    virtual HRESULT GetProperties(DWORD cbProperties, BYTE* pbProperties) = 0;
    virtual HRESULT SetProperties(DWORD cbProperties, const BYTE* pbProperties) = 0;
};

// {56A8689D-0AD4-11CE-B03A-0020AF0BA770}
DEFINE_GUID(IID_IMemInputPin, 0x56a8689d, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7,
            0x70);
struct IMemInputPin : public IUnknown {
    virtual HRESULT GetAllocator(IMemAllocator** ppAllocator) = 0;
    virtual HRESULT NotifyAllocator(IMemAllocator* pAllocator, BOOL bReadOnly) = 0;
    virtual HRESULT GetAllocatorRequirements(ALLOCATOR_PROPERTIES* pProps) = 0;
    virtual HRESULT Receive(IMediaSample* pSample) = 0;
    virtual HRESULT ReceiveMultiple(IMediaSample** pSamples, LONG nSamples,
                                    LONG* nSamplesProcessed) = 0;
    // S_OK when Receive may block (the upstream filter should then queue).
    virtual HRESULT ReceiveCanBlock() = 0;
};

// ---- Quality control ----

typedef enum tagQualityMessageType {
    Famine = 0,
    Flood = 1,
} QualityMessageType;

// Proportion: the rate the sender can sustain, in thousandths of the current
// rate; Late: how late the sample stamped TimeStamp was (negative: early).
typedef struct tagQuality {
    QualityMessageType Type;
    LONG Proportion;
    REFERENCE_TIME Late;
    REFERENCE_TIME TimeStamp;
} Quality;

// {56A868A5-0AD4-11CE-B03A-0020AF0BA770}
DEFINE_GUID(IID_IQualityControl, 0x56a868a5, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b,
            0xa7, 0x70);
struct IQualityControl : public IUnknown {
    virtual HRESULT Notify(IBaseFilter* pSelf, Quality q) = 0;
    virtual HRESULT SetSink(IQualityControl* piqc) = 0;
};

// ---- Pull model (the async file reader) ----

// {56A868AA-0AD4-11CE-B03A-0020AF0BA770}
DEFINE_GUID(IID_IAsyncReader, 0x56a868aa, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7,
            0x70);
struct IAsyncReader : public IUnknown {
    virtual HRESULT RequestAllocator(IMemAllocator* pPreferred, ALLOCATOR_PROPERTIES* pProps,
                                     IMemAllocator** ppActual) = 0;
    // The sample's times give the byte range (in units of 10^7 per byte).
    virtual HRESULT Request(IMediaSample* pSample, DWORD_PTR dwUser) = 0;
    virtual HRESULT WaitForNext(DWORD dwTimeout, IMediaSample** ppSample, DWORD_PTR* pdwUser) = 0;
    virtual HRESULT SyncReadAligned(IMediaSample* pSample) = 0;
    // S_FALSE when fewer than lLength bytes were left.
    virtual HRESULT SyncRead(LONGLONG llPosition, LONG lLength, BYTE* pBuffer) = 0;
    virtual HRESULT Length(LONGLONG* pTotal, LONGLONG* pAvailable) = 0;
    virtual HRESULT BeginFlush() = 0;
    virtual HRESULT EndFlush() = 0;
};

// ---- Events from filters to the graph ----

// {56A868A2-0AD4-11CE-B03A-0020AF0BA770}
DEFINE_GUID(IID_IMediaEventSink, 0x56a868a2, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b,
            0xa7, 0x70);
struct IMediaEventSink : public IUnknown {
    virtual HRESULT Notify(LONG EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2) = 0;
};

// ---- Filter kind (the graph manager finds renderers and sources with it) ----

#define AM_FILTER_MISC_FLAGS_IS_RENDERER 0x1
#define AM_FILTER_MISC_FLAGS_IS_SOURCE 0x2

// {2DD74950-A890-11D1-ABE8-00A0C905F375}
DEFINE_GUID(IID_IAMFilterMiscFlags, 0x2dd74950, 0xa890, 0x11d1, 0xab, 0xe8, 0x00, 0xa0, 0xc9, 0x05,
            0xf3, 0x75);
struct IAMFilterMiscFlags : public IUnknown {
    virtual ULONG GetMiscFlags() = 0;
};

// ---- Property pages ----

// A counted array of GUIDs; pElems is a CoTaskMemAlloc block the caller frees.
typedef struct tagCAUUID {
    ULONG cElems;
    GUID* pElems;
} CAUUID;

// {B196B28B-BAB4-101A-B69C-00AA00341D07}
DEFINE_GUID(IID_ISpecifyPropertyPages, 0xb196b28b, 0xbab4, 0x101a, 0xb6, 0x9c, 0x00, 0xaa, 0x00,
            0x34, 0x1d, 0x07);
struct ISpecifyPropertyPages : public IUnknown {
    virtual HRESULT GetPages(CAUUID* pPages) = 0;
};

// ---- Seeking flags (IMediaSeeking) ----

// Capabilities.
#define AM_SEEKING_CanSeekAbsolute 0x1
#define AM_SEEKING_CanSeekForwards 0x2
#define AM_SEEKING_CanSeekBackwards 0x4
#define AM_SEEKING_CanGetCurrentPos 0x8
#define AM_SEEKING_CanGetStopPos 0x10
#define AM_SEEKING_CanGetDuration 0x20
#define AM_SEEKING_CanPlayBackwards 0x40
#define AM_SEEKING_CanDoSegments 0x80
#define AM_SEEKING_Source 0x100
// SetPositions flags.
#define AM_SEEKING_NoPositioning 0x0
#define AM_SEEKING_AbsolutePositioning 0x1
#define AM_SEEKING_RelativePositioning 0x2
#define AM_SEEKING_IncrementalPositioning 0x3
#define AM_SEEKING_PositioningBitsMask 0x3
#define AM_SEEKING_SeekToKeyFrame 0x4
#define AM_SEEKING_ReturnTime 0x8
#define AM_SEEKING_Segment 0x10
#define AM_SEEKING_NoFlush 0x20

// Time formats (IMediaSeeking::SetTimeFormat). TIME_FORMAT_NONE is GUID_NULL.
#define TIME_FORMAT_NONE GUID_NULL
// {7B785570-8C82-11CF-BC0C-00AA00AC74F6}
DEFINE_GUID(TIME_FORMAT_FRAME, 0x7b785570, 0x8c82, 0x11cf, 0xbc, 0x0c, 0x00, 0xaa, 0x00, 0xac, 0x74,
            0xf6);
// {7B785571-8C82-11CF-BC0C-00AA00AC74F6}
DEFINE_GUID(TIME_FORMAT_BYTE, 0x7b785571, 0x8c82, 0x11cf, 0xbc, 0x0c, 0x00, 0xaa, 0x00, 0xac, 0x74,
            0xf6);
// {7B785572-8C82-11CF-BC0C-00AA00AC74F6}
DEFINE_GUID(TIME_FORMAT_SAMPLE, 0x7b785572, 0x8c82, 0x11cf, 0xbc, 0x0c, 0x00, 0xaa, 0x00, 0xac,
            0x74, 0xf6);
// {7B785573-8C82-11CF-BC0C-00AA00AC74F6}
DEFINE_GUID(TIME_FORMAT_FIELD, 0x7b785573, 0x8c82, 0x11cf, 0xbc, 0x0c, 0x00, 0xaa, 0x00, 0xac, 0x74,
            0xf6);
// 100-nanosecond units (REFERENCE_TIME).
// {7B785574-8C82-11CF-BC0C-00AA00AC74F6}
DEFINE_GUID(TIME_FORMAT_MEDIA_TIME, 0x7b785574, 0x8c82, 0x11cf, 0xbc, 0x0c, 0x00, 0xaa, 0x00, 0xac,
            0x74, 0xf6);
