#include "CStreamBuilder.h"

#include "CTarvoSplitterF.h"
#include "IProcesserCut.h"
#include "TarvoGuids.h"
#include "TarvoMediaTypes.h"

#include <windows.h>

#include <cstring>
#include <string_view>

namespace {

constexpr const char* kTraceChannel = "splitter";

// The filters of the chains, as the graph knows them.
struct ChainFilter {
    GUID clsid;
    LPCWSTR name;
};

// {BC4EB321-771F-4E9F-AF67-37C631ECA106}
constexpr ChainFilter kMpeg2Decoder{
    {0xbc4eb321, 0x771f, 0x4e9f, {0xaf, 0x67, 0x37, 0xc6, 0x31, 0xec, 0xa1, 0x06}},
    L"Tarvo Mpeg2 Decoder"};
// {FC86AD6C-894A-44E9-A283-4B5A9DD6CA65}
constexpr ChainFilter kMpeg4Decoder{
    {0xfc86ad6c, 0x894a, 0x44e9, {0xa2, 0x83, 0x4b, 0x5a, 0x9d, 0xd6, 0xca, 0x65}},
    L"Tarvo Mpeg4 Decoder"};
// {252FF58D-7F79-45FB-B743-49936A88ABB2}
constexpr ChainFilter kJp2kDecoder{
    {0x252ff58d, 0x7f79, 0x45fb, {0xb7, 0x43, 0x49, 0x93, 0x6a, 0x88, 0xab, 0xb2}},
    L"Tarvo Jp2k Decoder"};
// {09571A4B-F1FE-4C60-9760-DE6D310C7C31}
constexpr ChainFilter kHdH264Decoder{
    {0x09571a4b, 0xf1fe, 0x4c60, {0x97, 0x60, 0xde, 0x6d, 0x31, 0x0c, 0x7c, 0x31}},
    L"CoraAVC H264 Decoder Filter"};
// {272D77A0-A852-4851-ADA4-9091FEAD4C86}: one class, two instances.
constexpr GUID kColorSpaceClsid{
    0x272d77a0, 0xa852, 0x4851, {0xad, 0xa4, 0x90, 0x91, 0xfe, 0xad, 0x4c, 0x86}};
constexpr ChainFilter kColorSpaceFilter{kColorSpaceClsid, L"Tarvo Color Space"};
constexpr ChainFilter kColorSpace2Filter{kColorSpaceClsid, L"Tarvo Color Space2"};
// {335D166F-BDCF-4B7E-B360-6A59617C8036}
constexpr ChainFilter kDeinterlacerFilter{
    {0x335d166f, 0xbdcf, 0x4b7e, {0xb3, 0x60, 0x6a, 0x59, 0x61, 0x7c, 0x80, 0x36}},
    L"DeInterLace Filter"};
const ChainFilter kH264Decoder{CLSID_TarvoH264Decoder, L"Tarvo H264 Decoder"};
const ChainFilter kMjpegDecoder{CLSID_TarvoMjpegDecoder, L"Tarvo M-Jpeg Decoder"};
const ChainFilter kProcessorFilter{CLSID_TarvoProcesser, L"Tarvo Processer Filter"};
const ChainFilter kVideoRenderer{CLSID_VideoRendererDefault, L"Render"};
const ChainFilter kAudioRenderer{CLSID_DSoundRender, L"DirectSound Device"};

constexpr DWORD kMjpgFourcc = 0x47504A4D; // "MJPG": progressive pictures

// The n-th pin of filter in direction dir that is (unconnectedOnly) not
// connected, or the n-th of all; add-referenced, null when there is none.
IPin* FindPin(IBaseFilter* filter, PIN_DIRECTION dir, int n, bool unconnectedOnly)
{
    IEnumPins* pins = nullptr;
    if (!filter || FAILED(filter->EnumPins(&pins)) || !pins)
        return nullptr;
    IPin* found = nullptr;
    IPin* pin = nullptr;
    while (!found && pins->Next(1, &pin, nullptr) == S_OK) {
        PIN_DIRECTION d = PINDIR_INPUT;
        bool take = SUCCEEDED(pin->QueryDirection(&d)) && d == dir;
        if (take && unconnectedOnly) {
            IPin* peer = nullptr;
            if (SUCCEEDED(pin->ConnectedTo(&peer)) && peer) {
                peer->Release();
                take = false;
            }
        }
        if (take && n-- == 0)
            found = pin;
        else
            pin->Release();
    }
    pins->Release();
    return found;
}

HRESULT ConnectPins(IFilterGraph* graph, IPin* out, IPin* in)
{
    const HRESULT hr = out && in ? graph->ConnectDirect(out, in, nullptr) : VFW_E_NOT_FOUND;
    if (out)
        out->Release();
    if (in)
        in->Release();
    return hr;
}

// Connects out to in with the first YUY2 type out offers, when in takes it,
// and otherwise as ConnectPins does. The converter offers 32-bit RGB first,
// but the renderer reduces and converts YUY2 itself, and reduces before it
// converts when the window is half the picture: the RGB conversion of every
// whole picture in the converter would be spent for nothing.
HRESULT ConnectPreferringYuy2(IFilterGraph* graph, IPin* out, IPin* in)
{
    if (!out || !in)
        return ConnectPins(graph, out, in);
    IEnumMediaTypes* types = nullptr;
    bool connected = false;
    if (SUCCEEDED(out->EnumMediaTypes(&types)) && types) {
        AM_MEDIA_TYPE* mt = nullptr;
        while (!connected && types->Next(1, &mt, nullptr) == S_OK && mt) {
            if (IsEqualGUID(mt->subtype, MEDIASUBTYPE_YUY2) && in->QueryAccept(mt) == S_OK)
                connected = SUCCEEDED(graph->ConnectDirect(out, in, mt));
            DeleteMediaType(mt);
            mt = nullptr;
        }
        types->Release();
    }
    if (connected) {
        out->Release();
        in->Release();
        return S_OK;
    }
    return ConnectPins(graph, out, in);
}

// The chain builder of "Video Out".
class CVideoStreamBuilder final : public CStreamBuilder {
public:
    CVideoStreamBuilder(CTarvoSplitterF* splitter, CBasePin* pin) : m_splitter(splitter), m_pin(pin)
    {
    }
    ~CVideoStreamBuilder() override
    {
        for (IBaseFilter*& filter : m_filters)
            ReleaseSlot(filter);
    }

    HRESULT Render(IPin* ppinOut, IGraphBuilder* pGraph) override
    {
        CTvTraceCall trace(kTraceChannel, "Video Out IStreamBuilder::Render(%p, %p)",
                           static_cast<void*>(ppinOut), static_cast<void*>(pGraph));
        if (!ppinOut || !pGraph)
            return trace(E_POINTER);
        CAutoLock lock(&m_lock);
        const SplitterStreamState state = m_splitter->GetStreamState();
        CBasePin* input = m_splitter->GetPin(0);
        if (!input || !input->IsConnected() || state.codecKind <= 0)
            return trace(E_FAIL);
        if (m_graph && m_graph != pGraph)
            return trace(E_FAIL);
        m_graph = pGraph;
        const HRESULT hr = BuildChain(state);
        if (hr != S_OK)
            m_splitter->NotifyEvent(EC_ERRORABORT, hr, 0);
        return trace(hr);
    }

    HRESULT Backout(IPin*, IGraphBuilder* pGraph) override
    {
        CTvTraceCall trace(kTraceChannel, "Video Out IStreamBuilder::Backout(%p)",
                           static_cast<void*>(pGraph));
        CAutoLock lock(&m_lock);
        IFilterGraph* graph = pGraph ? static_cast<IFilterGraph*>(pGraph) : m_graph;
        for (Slot slot :
             {kHdH264, kMpeg2, kH264, kMpeg4, kMjpeg, kJp2k, kProcessor, kReserved1, kDeinterlacer,
              kReserved2, kRenderer, kColorSpace, kColorSpace2, kReserved3}) {
            IBaseFilter*& filter = m_filters[slot];
            if (filter && graph)
                graph->RemoveFilter(filter);
            ReleaseSlot(filter);
        }
        // The graph is not held: once the chain is gone, forget it, so that
        // a pointer to a graph that may be destroyed is never compared again
        // and the pin can be rendered into another graph.
        m_graph = nullptr;
        return trace(S_OK);
    }

    void ReleaseRenderer(IFilterGraph* graph) override
    {
        CAutoLock lock(&m_lock);
        IBaseFilter*& renderer = m_filters[kRenderer];
        if (renderer && graph)
            graph->RemoveFilter(renderer);
        ReleaseSlot(renderer);
    }

private:
    // Slots in the order of their references; the reserved ones are never
    // filled (Backout still walks them).
    enum Slot {
        kMpeg2,
        kH264,
        kMpeg4,
        kJp2k,
        kHdH264,
        kMjpeg,
        kProcessor,
        kReserved1,
        kDeinterlacer,
        kReserved2,
        kColorSpace,
        kColorSpace2,
        kReserved3,
        kRenderer,
        kSlotCount
    };

    static void ReleaseSlot(IBaseFilter*& filter)
    {
        if (filter)
            filter->Release();
        filter = nullptr;
    }

    // Add-or-reuse (see the header). On failure the slot keeps what it held.
    HRESULT AddFilter(Slot slot, const ChainFilter& which)
    {
        IBaseFilter*& held = m_filters[slot];
        if (held && SUCCEEDED(m_graph->AddFilter(held, which.name)))
            return S_OK;
        IBaseFilter* filter = nullptr;
        if (SUCCEEDED(m_graph->FindFilterByName(which.name, &filter)) && filter) {
            ReleaseSlot(held);
            held = filter;
            return S_OK;
        }
        HRESULT hr = CoCreateInstance(which.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                      reinterpret_cast<void**>(&filter));
        if (SUCCEEDED(hr) && !filter)
            hr = E_NOINTERFACE;
        if (FAILED(hr))
            return hr;
        hr = m_graph->AddFilter(filter, which.name);
        if (FAILED(hr)) {
            filter->Release();
            return hr;
        }
        ReleaseSlot(held);
        held = filter;
        return S_OK;
    }

    // The connection helpers: the first unconnected input pin of to; the
    // first unconnected output of from to the first unconnected input of to;
    // output n of from to input m of to.
    HRESULT ConnectPinToFilter(IPin* out, Slot to)
    {
        out->AddRef();
        return ConnectPins(m_graph, out, FindPin(m_filters[to], PINDIR_INPUT, 0, true));
    }
    HRESULT ConnectFilters(Slot from, Slot to)
    {
        return ConnectPins(m_graph, FindPin(m_filters[from], PINDIR_OUTPUT, 0, true),
                           FindPin(m_filters[to], PINDIR_INPUT, 0, true));
    }
    HRESULT ConnectNth(Slot from, int n, Slot to, int m)
    {
        return ConnectPins(m_graph, FindPin(m_filters[from], PINDIR_OUTPUT, n, false),
                           FindPin(m_filters[to], PINDIR_INPUT, m, false));
    }

    // SetCutMode on the processor with the stream's geometry.
    HRESULT SetCutMode(const SplitterStreamState& state)
    {
        IProcesserCut* cut = nullptr;
        if (FAILED(m_filters[kProcessor]->QueryInterface(IID_IProcesserCut,
                                                         reinterpret_cast<void**>(&cut))) ||
            !cut)
            return kChainNoProcesserCut;
        cut->SetCutMode(state.format.width, state.format.height, state.format.pictureMode);
        cut->Release();
        return S_OK;
    }

    // Processor -> converter -> renderer, the end of every chain but 7's.
    HRESULT FinishChain(Slot processorSource, const SplitterStreamState* cutState)
    {
        if (FAILED(AddFilter(kProcessor, kProcessorFilter)))
            return kChainProcessorFailed;
        if (FAILED(processorSource == kJp2k ? ConnectJp2kToProcessor()
                                            : ConnectFilters(processorSource, kProcessor)))
            return kChainDecoderToProcessorFailed;
        if (cutState) {
            const HRESULT hr = SetCutMode(*cutState);
            if (hr != S_OK)
                return hr;
        }
        if (FAILED(AddFilter(kColorSpace, kColorSpaceFilter)))
            return kChainColorSpaceFailed;
        if (FAILED(ConnectFilters(kProcessor, kColorSpace)))
            return kChainProcessorToColorSpaceFailed;
        return AddRenderer(kColorSpace);
    }

    HRESULT ConnectJp2kToProcessor()
    {
        const HRESULT hr = ConnectNth(kJp2k, 0, kProcessor, 0);
        return FAILED(hr) ? hr : ConnectNth(kJp2k, 1, kProcessor, 1);
    }

    HRESULT AddRenderer(Slot source)
    {
        const HRESULT hr = AddFilter(kRenderer, kVideoRenderer);
        if (FAILED(hr))
            return hr;
        return FAILED(ConnectPreferringYuy2(m_graph,
                                            FindPin(m_filters[source], PINDIR_OUTPUT, 0, true),
                                            FindPin(m_filters[kRenderer], PINDIR_INPUT, 0, true)))
                   ? kChainToRendererFailed
                   : S_OK;
    }

    // A decoder straight from the video pin, then the common end.
    HRESULT DecoderChain(Slot decoder, const ChainFilter& which, HRESULT addFailed,
                         const SplitterStreamState* cutState)
    {
        if (FAILED(AddFilter(decoder, which)))
            return addFailed;
        if (FAILED(ConnectPinToFilter(m_pin, decoder)))
            return kChainVideoToDecoderFailed;
        return FinishChain(decoder, cutState);
    }

    // True when the video pin's type is the Motion JPEG one with a format.
    bool MjpegType(bool* interlaced)
    {
        const CMediaType& mt = m_pin->CurrentMediaType();
        if (*mt.Type() != MEDIATYPE_Video || *mt.Subtype() != MEDIASUBTYPE_TarvoMjpeg ||
            *mt.FormatType() != FORMAT_VideoInfo || !mt.Format() ||
            mt.FormatLength() < sizeof(VIDEOINFOHEADER))
            return false;
        const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(mt.Format());
        *interlaced = vih->bmiHeader.biCompression != kMjpgFourcc;
        return true;
    }

    HRESULT MjpegChain(const SplitterStreamState& state)
    {
        if (FAILED(AddFilter(kMjpeg, kMjpegDecoder)))
            return kChainMjpegDecoderFailed;
        if (FAILED(ConnectPinToFilter(m_pin, kMjpeg)))
            return kChainVideoToDecoderFailed;
        if (FAILED(AddFilter(kColorSpace, kColorSpaceFilter)))
            return kChainColorSpaceFailed;
        bool interlaced = false;
        if (!MjpegType(&interlaced))
            return kChainMjpegTypeOrDeinterlacerFailed;
        if (interlaced) {
            if (FAILED(AddFilter(kDeinterlacer, kDeinterlacerFilter)))
                return kChainMjpegTypeOrDeinterlacerFailed;
            if (FAILED(ConnectFilters(kMjpeg, kDeinterlacer)))
                return kChainMjpegToDeinterlacerFailed;
            if (FAILED(ConnectFilters(kDeinterlacer, kColorSpace)))
                return kChainProcessorToColorSpaceFailed;
        } else if (FAILED(ConnectFilters(kMjpeg, kColorSpace))) {
            return kChainMjpegToColorSpaceFailed;
        }
        if (FAILED(AddFilter(kProcessor, kProcessorFilter)))
            return kChainProcessorFailed;
        if (FAILED(ConnectFilters(kColorSpace, kProcessor)))
            return kChainDecoderToProcessorFailed;
        const HRESULT hr = SetCutMode(state);
        if (hr != S_OK)
            return hr;
        if (FAILED(AddFilter(kColorSpace2, kColorSpace2Filter)))
            return kChainColorSpaceFailed;
        if (FAILED(ConnectFilters(kProcessor, kColorSpace2)))
            return kChainProcessorToColorSpaceFailed;
        return AddRenderer(kColorSpace2);
    }

    HRESULT BuildChain(const SplitterStreamState& state)
    {
        switch (state.codecKind) {
        case CodecDeviceH264:
        case CodecDeviceH264Clocked:
        case CodecFrameQueue:
            return DecoderChain(kH264, kH264Decoder, kChainH264DecoderFailed, nullptr);
        case CodecMpeg2:
            return DecoderChain(kMpeg2, kMpeg2Decoder, kChainMpeg2DecoderFailed, nullptr);
        case CodecMpeg4:
            return DecoderChain(kMpeg4, kMpeg4Decoder, kChainMpeg4DecoderFailed, nullptr);
        case CodecJP2K:
            return DecoderChain(kJp2k, kJp2kDecoder, kChainJp2kDecoderFailed, nullptr);
        case CodecHDH264:
            AdjustHdDecoderSettingsFile();
            return DecoderChain(kHdH264, kHdH264Decoder, kChainHdH264DecoderFailed, &state);
        case CodecMjpeg:
            return MjpegChain(state);
        default:
            return E_FAIL;
        }
    }

    CTarvoSplitterF* const m_splitter;
    CBasePin* const m_pin;

    CCritSec m_lock;
    // guarded by m_lock
    IFilterGraph* m_graph = nullptr; // not held; set by the first Render
    IBaseFilter* m_filters[kSlotCount] = {};
};

// The chain builder of "Audio Out": the pin into the DirectSound renderer,
// which the graph then holds (Backout leaves it; RemoveDownstream takes it
// out). Nothing of its own to guard.
class CAudioStreamBuilder final : public CStreamBuilder {
public:
    explicit CAudioStreamBuilder(CBasePin* pin) : m_pin(pin) {}

    HRESULT Render(IPin* ppinOut, IGraphBuilder* pGraph) override
    {
        CTvTraceCall trace(kTraceChannel, "Audio Out IStreamBuilder::Render(%p, %p)",
                           static_cast<void*>(ppinOut), static_cast<void*>(pGraph));
        if (!ppinOut || !pGraph)
            return trace(E_POINTER);
        IBaseFilter* renderer = nullptr;
        HRESULT hr = CoCreateInstance(kAudioRenderer.clsid, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IBaseFilter, reinterpret_cast<void**>(&renderer));
        if (SUCCEEDED(hr) && !renderer)
            hr = E_NOINTERFACE;
        if (FAILED(hr))
            return trace(hr);
        hr = pGraph->AddFilter(renderer, kAudioRenderer.name);
        if (SUCCEEDED(hr)) {
            m_pin->AddRef();
            hr = ConnectPins(pGraph, m_pin, FindPin(renderer, PINDIR_INPUT, 0, true));
        }
        renderer->Release(); // the graph holds it
        return trace(hr);
    }

    HRESULT Backout(IPin*, IGraphBuilder*) override { return S_OK; }
    void ReleaseRenderer(IFilterGraph*) override {}

private:
    CBasePin* const m_pin;
};

size_t SetAfter(char* text, size_t length, std::string_view key, char value)
{
    const std::string_view view(text, length);
    const size_t at = view.find(key);
    if (at == std::string_view::npos || at + key.size() >= length)
        return 0;
    text[at + key.size()] = value;
    return 1;
}

} // namespace

std::unique_ptr<CStreamBuilder> CStreamBuilder::ForVideo(CTarvoSplitterF* splitter, CBasePin* pin)
{
    return std::make_unique<CVideoStreamBuilder>(splitter, pin);
}

std::unique_ptr<CStreamBuilder> CStreamBuilder::ForAudio(CTarvoSplitterF*, CBasePin* pin)
{
    return std::make_unique<CAudioStreamBuilder>(pin);
}

bool AdjustHdDecoderSettings(char* text, size_t length)
{
    if (!text)
        return false;
    const size_t changed = SetAfter(text, length, "di=", '8') +
                           SetAfter(text, length, "use_tray=", '0') +
                           SetAfter(text, length, "use_cuda=", '0');
    return changed > 0;
}

void AdjustHdDecoderSettingsFile()
{
    LPSTR user = nullptr;
    if (!WTSQuerySessionInformationA(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, WTSUserName,
                                     &user, nullptr) ||
        !user)
        return;
    char path[MAX_PATH];
    const int n = std::snprintf(
        path, sizeof(path), "C:\\Documents and Settings\\%s\\Application Data\\coreavc.ini", user);
    WTSFreeMemory(user);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof(path))
        return;
    HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    char text[1536];
    DWORD read = 0;
    if (ReadFile(file, text, sizeof(text), &read, nullptr) && read > 0) {
        AdjustHdDecoderSettings(text, read);
        DWORD written = 0;
        if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) == 0)
            WriteFile(file, text, read, &written, nullptr);
    }
    CloseHandle(file);
}
