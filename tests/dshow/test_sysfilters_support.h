// Helpers of the system filter tests: a picture source the test drives sample
// by sample (with the bytes it chooses) that records the quality messages it
// receives, YUY2 pictures, and creation of the system filters by class id.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <algorithm>
#include <future>
#include <optional>
#include <mutex>
#include <vector>

#include "TestFilters.h"
#include "offscreen.h"

// ---- Creation through the registry ----

template <class T> T* CreateSystemFilter(REFCLSID clsid, REFIID iid)
{
    T* out = nullptr;
    HRESULT hr =
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void**>(&out));
    EXPECT_EQ(hr, S_OK);
    return out;
}

template <class T, class U> T* Query(U* object, REFIID iid)
{
    T* out = nullptr;
    if (!object || FAILED(object->QueryInterface(iid, reinterpret_cast<void**>(&out))))
        return nullptr;
    return out;
}

inline IPin* FirstPin(IBaseFilter* filter)
{
    IEnumPins* pins = nullptr;
    IPin* pin = nullptr;
    if (SUCCEEDED(filter->EnumPins(&pins))) {
        pins->Next(1, &pin, nullptr);
        pins->Release();
    }
    return pin;
}

// ---- YUY2 pictures ----

struct Yuv {
    uint8_t y, u, v;
};
constexpr Yuv kWhite{235, 128, 128};
constexpr Yuv kBlack{16, 128, 128};
constexpr Yuv kRed{81, 90, 240};
constexpr Yuv kBlue{41, 240, 110};

struct Bgr {
    int b, g, r;
};
constexpr Bgr kWhiteRgb{255, 255, 255};
constexpr Bgr kBlackRgb{0, 0, 0};
constexpr Bgr kRedRgb{0, 0, 254};
constexpr Bgr kBlueRgb{254, 0, 0};

template <class F> std::vector<uint8_t> Yuy2Picture(int width, int height, F colourAt)
{
    std::vector<uint8_t> frame(size_t(width) * 2 * size_t(height));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; x += 2) {
            Yuv c = colourAt(x, y);
            uint8_t* p = frame.data() + (size_t(y) * size_t(width) + size_t(x)) * 2;
            p[0] = c.y;
            p[1] = c.u;
            p[2] = c.y;
            p[3] = c.v;
        }
    }
    return frame;
}

inline std::vector<uint8_t> Yuy2Uniform(int width, int height, Yuv c)
{
    return Yuy2Picture(width, height, [c](int, int) { return c; });
}

inline CMediaType Yuy2Type(LONG width, LONG height)
{
    return TvMakeVideoType(MEDIASUBTYPE_YUY2, width, height, 16, MAKEFOURCC('Y', 'U', 'Y', '2'));
}

inline ::testing::AssertionResult PixelNear(const uint8_t* bgrx, Bgr want, int tolerance = 4)
{
    int got[3] = {bgrx[0], bgrx[1], bgrx[2]};
    int exp[3] = {want.b, want.g, want.r};
    for (int i = 0; i < 3; ++i) {
        if (std::abs(got[i] - exp[i]) > tolerance)
            return ::testing::AssertionFailure()
                   << "pixel B,G,R = " << got[0] << "," << got[1] << "," << got[2] << " want "
                   << exp[0] << "," << exp[1] << "," << exp[2];
    }
    return ::testing::AssertionSuccess();
}

// The renderer's last picture.
struct Picture {
    HRESULT hr = E_FAIL;
    LONG width = 0, height = 0;
    std::vector<uint8_t> pixels;
    const uint8_t* At(int x, int y) const
    {
        return pixels.data() + (size_t(y) * size_t(width) + size_t(x)) * 4;
    }
};

inline Picture Snapshot(IUnknown* renderer)
{
    Picture p;
    IOffscreenSnapshot* snap = Query<IOffscreenSnapshot>(renderer, IID_IOffscreenSnapshot);
    if (!snap)
        return p;
    snap->GetSurfaceInfo(&p.width, &p.height, nullptr, nullptr);
    p.pixels.resize(size_t(p.width) * size_t(p.height) * 4);
    p.hr = snap->CopyLastFrame(p.pixels.data(), LONG(p.pixels.size()), &p.width, &p.height);
    snap->Release();
    return p;
}

inline LONGLONG FramesPresented(IUnknown* renderer)
{
    IOffscreenSnapshot* snap = Query<IOffscreenSnapshot>(renderer, IID_IOffscreenSnapshot);
    LONGLONG frames = -1;
    if (snap) {
        snap->GetSurfaceInfo(nullptr, nullptr, &frames, nullptr);
        snap->Release();
    }
    return frames;
}

// ---- A source the test drives ----

// One output pin "Output" offering one media type. The test calls Deliver (from
// a thread of its own when the renderer may hold the sample) with the bytes and
// times it wants; quality messages sent to the pin are recorded.
class CPictureSource : public CBaseFilter {
public:
    static CPictureSource* Create(const CMediaType& type, LONG buffers = 2)
    {
        HRESULT hr = S_OK;
        auto* source = new CPictureSource(type, buffers, &hr);
        source->NonDelegatingAddRef();
        EXPECT_EQ(hr, S_OK);
        return source;
    }

    IPin* Output() { return &m_output; }
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override { return n == 0 ? &m_output : nullptr; }

    // Fills a buffer and delivers it; the renderer's answer (or the buffer
    // failure). A null start sends no times; a null stop sends the start only.
    HRESULT Deliver(const std::vector<uint8_t>& bytes, const REFERENCE_TIME* start = nullptr,
                    const REFERENCE_TIME* stop = nullptr, const AM_MEDIA_TYPE* newType = nullptr)
    {
        IMediaSample* sample = nullptr;
        HRESULT hr = m_output.GetDeliveryBuffer(&sample, nullptr, nullptr, 0);
        if (FAILED(hr))
            return hr;
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        size_t n = std::min<size_t>(bytes.size(), size_t(sample->GetSize()));
        std::copy_n(bytes.data(), n, data);
        sample->SetActualDataLength(LONG(n));
        REFERENCE_TIME s = start ? *start : 0, e = stop ? *stop : 0;
        if (start)
            sample->SetTime(&s, stop ? &e : nullptr);
        if (newType)
            sample->SetMediaType(const_cast<AM_MEDIA_TYPE*>(newType));
        hr = m_output.Deliver(sample);
        sample->Release();
        return hr;
    }
    // The same on a thread of its own.
    std::future<HRESULT> DeliverAsync(std::vector<uint8_t> bytes,
                                      std::optional<REFERENCE_TIME> start = {},
                                      std::optional<REFERENCE_TIME> stop = {})
    {
        return std::async(std::launch::async, [this, bytes = std::move(bytes), start, stop] {
            return Deliver(bytes, start ? &*start : nullptr, stop ? &*stop : nullptr);
        });
    }
    HRESULT DeliverEndOfStream() { return m_output.DeliverEndOfStream(); }
    HRESULT DeliverBeginFlush() { return m_output.DeliverBeginFlush(); }
    HRESULT DeliverEndFlush() { return m_output.DeliverEndFlush(); }

    std::vector<Quality> QualityMessages()
    {
        std::lock_guard<std::mutex> guard(m_qualityLock);
        return m_quality;
    }

private:
    class COutput : public CBaseOutputPin {
    public:
        COutput(CPictureSource* filter, const CMediaType& type, LONG buffers, HRESULT* phr)
            : CBaseOutputPin("Picture source output", filter, &filter->m_lock, phr, L"Output"),
              m_filter(filter), m_type(type), m_buffers(buffers)
        {
        }
        HRESULT CheckMediaType(const CMediaType* pmt) override
        {
            return *pmt == m_type ? S_OK : S_FALSE;
        }
        HRESULT GetMediaType(int i, CMediaType* pmt) override
        {
            if (i < 0)
                return E_INVALIDARG;
            if (i > 0)
                return VFW_S_NO_MORE_ITEMS;
            return pmt->Set(m_type);
        }
        HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES*) override
        {
            ALLOCATOR_PROPERTIES want{m_buffers,
                                      LONG(std::max<ULONG>(m_type.GetSampleSize(), 4096)), 1, 0};
            ALLOCATOR_PROPERTIES got{};
            return alloc->SetProperties(&want, &got);
        }
        STDMETHODIMP Notify(IBaseFilter*, Quality q) override
        {
            std::lock_guard<std::mutex> guard(m_filter->m_qualityLock);
            m_filter->m_quality.push_back(q);
            return S_OK;
        }

    private:
        CPictureSource* m_filter;
        CMediaType m_type;
        LONG m_buffers;
    };

    CPictureSource(const CMediaType& type, LONG buffers, HRESULT* phr)
        : CBaseFilter("Picture source", nullptr, &m_lock, GUID_NULL, phr),
          m_output(this, type, buffers, phr)
    {
    }

    CCritSec m_lock;
    COutput m_output;
    std::mutex m_qualityLock;
    std::vector<Quality> m_quality;
};

// True when the future is still running after a short look (the thread is
// blocked where the test expects it to be; a wrong renderer returns at once).
template <class T> bool StillBlocked(std::future<T>& f, int ms = 100)
{
    return f.wait_for(std::chrono::milliseconds(ms)) == std::future_status::timeout;
}

// The future's result, with a generous safety limit against a hung test.
template <class T> T Result(std::future<T>& f, T onHang)
{
    if (f.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        ADD_FAILURE() << "a delivery never returned";
        return onHang;
    }
    return f.get();
}
