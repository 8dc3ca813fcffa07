// "File Async Reader": loading, the output pin's connection rules, and
// IAsyncReader's reads (synchronous, queued, flushing) against a real file.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "TestKit.h"
#include "TvPictures.h"

namespace {

uint8_t ByteAt(LONGLONG i)
{
    return uint8_t((i * 13 + 7) & 0xff);
}

// A folder of its own with one file of `size` known bytes in it.
class TempMedia {
public:
    explicit TempMedia(size_t size, const char* name = "clip.tvx")
    {
        char folder[] = "/tmp/tvsys-async-XXXXXX";
        if (mkdtemp(folder))
            m_folder = folder;
        std::filesystem::create_directories(m_folder + "/media");
        m_path = m_folder + "/media/" + name;
        std::ofstream out(m_path, std::ios::binary);
        for (size_t i = 0; i < size; ++i)
            out.put(char(ByteAt(LONGLONG(i))));
    }
    ~TempMedia()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }
    const std::string& Folder() const { return m_folder; }
    std::wstring WidePath() const { return std::wstring(m_path.begin(), m_path.end()); }

private:
    std::string m_folder;
    std::string m_path;
};

// A pull-mode filter: its input pin takes the upstream IAsyncReader while
// connecting, as a splitter does.
class CPullSink : public CBaseFilter {
public:
    static CPullSink* Create()
    {
        HRESULT hr = S_OK;
        auto* sink = new CPullSink(&hr);
        sink->NonDelegatingAddRef();
        return sink;
    }
    IPin* Input() { return &m_pin; }
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override { return n == 0 ? &m_pin : nullptr; }
    IAsyncReader* Reader() { return m_pin.m_reader; }

private:
    class CPin : public CBasePin {
    public:
        CPin(CPullSink* filter, HRESULT* phr)
            : CBasePin("Pull sink input", filter, &filter->m_lock, phr, L"Input", PINDIR_INPUT)
        {
        }
        ~CPin() override
        {
            if (m_reader)
                m_reader->Release();
        }
        HRESULT CheckMediaType(const CMediaType* pmt) override
        {
            return IsEqualGUID(pmt->majortype, MEDIATYPE_Stream) ? S_OK : S_FALSE;
        }
        HRESULT CheckConnect(IPin* pPin) override
        {
            HRESULT hr = CBasePin::CheckConnect(pPin);
            if (FAILED(hr))
                return hr;
            return pPin->QueryInterface(IID_IAsyncReader, reinterpret_cast<void**>(&m_reader));
        }
        HRESULT BreakConnect() override
        {
            if (m_reader)
                m_reader->Release();
            m_reader = nullptr;
            return CBasePin::BreakConnect();
        }
        STDMETHODIMP BeginFlush() override { return S_OK; }
        STDMETHODIMP EndFlush() override { return S_OK; }
        IAsyncReader* m_reader = nullptr;
    };

    explicit CPullSink(HRESULT* phr)
        : CBaseFilter("Pull sink", nullptr, &m_lock, GUID_NULL, phr), m_pin(this, phr)
    {
    }

    CCritSec m_lock;
    CPin m_pin;
};

class AsyncReaderTest : public TvComTest {
protected:
    void SetUp() override
    {
        TvComTest::SetUp();
        m_filter = CreateInstance<IBaseFilter>(CLSID_AsyncReader, IID_IBaseFilter);
        ASSERT_NE(m_filter, nullptr);
        m_source = Query<IFileSourceFilter>(m_filter, IID_IFileSourceFilter);
        ASSERT_NE(m_source, nullptr);
        m_output = FirstPin(m_filter);
        ASSERT_NE(m_output, nullptr);
    }
    void TearDown() override
    {
        if (m_sink) {
            m_sink->Input()->Disconnect();
            m_sink->Release();
        }
        if (m_output) {
            m_output->Disconnect();
            m_output->Release();
        }
        if (m_source)
            m_source->Release();
        if (m_filter)
            m_filter->Release();
        TvComTest::TearDown();
    }
    // Loads the file and connects a pull sink; the reader it got.
    IAsyncReader* LoadAndConnect(const TempMedia& media)
    {
        EXPECT_EQ(m_source->Load(media.WidePath().c_str(), nullptr), S_OK);
        m_sink = CPullSink::Create();
        EXPECT_EQ(m_output->Connect(m_sink->Input(), nullptr), S_OK);
        return m_sink->Reader();
    }

    IBaseFilter* m_filter = nullptr;
    IFileSourceFilter* m_source = nullptr;
    IPin* m_output = nullptr;
    CPullSink* m_sink = nullptr;
};

} // namespace

TEST_F(AsyncReaderTest, IsASourceWithOneStreamPin)
{
    CLSID clsid;
    ASSERT_EQ(m_filter->GetClassID(&clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_AsyncReader);
    IAMFilterMiscFlags* flags = Query<IAMFilterMiscFlags>(m_filter, IID_IAMFilterMiscFlags);
    ASSERT_NE(flags, nullptr);
    EXPECT_EQ(flags->GetMiscFlags(), ULONG(AM_FILTER_MISC_FLAGS_IS_SOURCE));
    flags->Release();
    PIN_DIRECTION dir;
    ASSERT_EQ(m_output->QueryDirection(&dir), S_OK);
    EXPECT_EQ(dir, PINDIR_OUTPUT);
    LPWSTR id = nullptr;
    ASSERT_EQ(m_output->QueryId(&id), S_OK);
    EXPECT_STREQ(id, L"Output");
    CoTaskMemFree(id);

    // Nothing to offer before a file is loaded.
    IEnumMediaTypes* types = nullptr;
    ASSERT_EQ(m_output->EnumMediaTypes(&types), S_OK);
    AM_MEDIA_TYPE* mt = nullptr;
    EXPECT_EQ(types->Next(1, &mt, nullptr), S_FALSE);
    types->Release();

    TvRegisteredFilter registered;
    ASSERT_EQ(TvQueryRegisteredFilter(CLSID_AsyncReader, &registered), S_OK);
    EXPECT_EQ(registered.name, L"File Async Reader");
    ASSERT_EQ(registered.pins.size(), 1u);
    EXPECT_TRUE(registered.pins[0].bOutput);
    ASSERT_EQ(registered.pins[0].mediaTypes.size(), 1u);
    EXPECT_EQ(registered.pins[0].mediaTypes[0].first, MEDIATYPE_Stream);
}

TEST_F(AsyncReaderTest, LoadAndGetCurFile)
{
    LPOLESTR name = reinterpret_cast<LPOLESTR>(1);
    AM_MEDIA_TYPE mt{};
    EXPECT_EQ(m_source->GetCurFile(&name, &mt), S_OK) << "nothing loaded";
    EXPECT_EQ(name, nullptr);
    EXPECT_EQ(m_source->GetCurFile(nullptr, nullptr), E_POINTER);
    EXPECT_EQ(m_source->Load(nullptr, nullptr), E_POINTER);
    EXPECT_EQ(m_source->Load(L"/tmp/tvsys-surely-not-here.tvx", nullptr),
              HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(m_source->Load(L"/tmp", nullptr), E_INVALIDARG) << "a folder";

    TempMedia media(1000);
    ASSERT_EQ(m_source->Load(media.WidePath().c_str(), nullptr), S_OK);
    ASSERT_EQ(m_source->GetCurFile(&name, &mt), S_OK);
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(std::wstring(name), media.WidePath());
    CoTaskMemFree(name);
    EXPECT_EQ(mt.majortype, MEDIATYPE_Stream);
    EXPECT_EQ(mt.subtype, MEDIASUBTYPE_NULL);
    FreeMediaType(mt);

    // A type given to Load is the one the pin offers.
    CMediaType given(&MEDIATYPE_Stream);
    given.SetSubtype(&MEDIASUBTYPE_MPEG2_TRANSPORT);
    ASSERT_EQ(m_source->Load(media.WidePath().c_str(), &given), S_OK);
    ASSERT_EQ(m_source->GetCurFile(&name, &mt), S_OK);
    CoTaskMemFree(name);
    EXPECT_EQ(mt.subtype, MEDIASUBTYPE_MPEG2_TRANSPORT);
    FreeMediaType(mt);
}

TEST_F(AsyncReaderTest, DrivePathsAreMapped)
{
    TempMedia media(64);
    const char* old = std::getenv("TARVO_DRIVE_C");
    std::string saved = old ? old : "";
    setenv("TARVO_DRIVE_C", media.Folder().c_str(), 1);
    HRESULT hr = m_source->Load(L"C:\\media\\clip.tvx", nullptr);
    if (old)
        setenv("TARVO_DRIVE_C", saved.c_str(), 1);
    else
        unsetenv("TARVO_DRIVE_C");
    ASSERT_EQ(hr, S_OK);
    LPOLESTR name = nullptr;
    ASSERT_EQ(m_source->GetCurFile(&name, nullptr), S_OK);
    EXPECT_STREQ(name, L"C:\\media\\clip.tvx") << "the name as it was given";
    CoTaskMemFree(name);
}

TEST_F(AsyncReaderTest, ConnectsOnlyToPinsThatPull)
{
    CTestSink* pushSink = CTestSink::Create(MEDIATYPE_Stream);
    EXPECT_NE(m_output->Connect(pushSink->Input(), nullptr), S_OK) << "no file: no type to offer";

    TempMedia media(100);
    ASSERT_EQ(m_source->Load(media.WidePath().c_str(), nullptr), S_OK);
    EXPECT_EQ(m_output->Connect(pushSink->Input(), nullptr), VFW_E_NO_TRANSPORT);
    IPin* peer = nullptr;
    EXPECT_EQ(m_output->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
    pushSink->Release();

    m_sink = CPullSink::Create();
    ASSERT_EQ(m_output->Connect(m_sink->Input(), nullptr), S_OK);
    ASSERT_NE(m_sink->Reader(), nullptr);
    EXPECT_EQ(m_source->Load(media.WidePath().c_str(), nullptr), VFW_E_ALREADY_CONNECTED);
}

TEST_F(AsyncReaderTest, SyncReadsAtOffsetsAndPastTheEnd)
{
    TempMedia media(5000);
    IAsyncReader* reader = LoadAndConnect(media);
    ASSERT_NE(reader, nullptr);
    LONGLONG total = 0, available = 0;
    ASSERT_EQ(reader->Length(&total, &available), S_OK);
    EXPECT_EQ(total, 5000);
    EXPECT_EQ(available, 5000);

    std::vector<BYTE> buffer(256, 0xEE);
    for (LONGLONG at : {0LL, 1LL, 2048LL, 4744LL}) {
        ASSERT_EQ(reader->SyncRead(at, 256, buffer.data()), S_OK);
        for (size_t i = 0; i < 256; ++i)
            ASSERT_EQ(buffer[i], ByteAt(at + LONGLONG(i))) << "at " << at << " + " << i;
    }
    std::fill(buffer.begin(), buffer.end(), 0xEE);
    EXPECT_EQ(reader->SyncRead(4900, 256, buffer.data()), S_FALSE) << "100 bytes left";
    EXPECT_EQ(buffer[99], ByteAt(4999));
    EXPECT_EQ(buffer[100], 0xEE);
    EXPECT_EQ(reader->SyncRead(5000, 16, buffer.data()), S_FALSE);
    EXPECT_EQ(reader->SyncRead(-1, 16, buffer.data()), E_INVALIDARG);
    EXPECT_EQ(reader->SyncRead(0, 16, nullptr), E_POINTER);
}

TEST_F(AsyncReaderTest, AllocatorAsTheSplitterAsksForIt)
{
    TempMedia media(10);
    IAsyncReader* reader = LoadAndConnect(media);
    ALLOCATOR_PROPERTIES request{1, 2048000, 0, 0};
    IMemAllocator* allocator = nullptr;
    EXPECT_EQ(reader->RequestAllocator(nullptr, &request, nullptr), E_POINTER);
    ASSERT_EQ(reader->RequestAllocator(nullptr, &request, &allocator), S_OK);
    ALLOCATOR_PROPERTIES got{};
    ASSERT_EQ(allocator->GetProperties(&got), S_OK);
    EXPECT_EQ(got.cBuffers, 1);
    EXPECT_GE(got.cbBuffer, 2048000);
    EXPECT_GE(got.cbAlign, 1);

    // A preferred allocator that takes the properties is the one used.
    IMemAllocator* mine = nullptr;
    ASSERT_EQ(CreateMemoryAllocator(&mine), S_OK);
    IMemAllocator* chosen = nullptr;
    ALLOCATOR_PROPERTIES small{2, 4096, 1, 0};
    ASSERT_EQ(reader->RequestAllocator(mine, &small, &chosen), S_OK);
    EXPECT_EQ(chosen, mine);
    chosen->Release();
    mine->Release();
    allocator->Release();
}

TEST_F(AsyncReaderTest, QueuedRequestsCompleteInOrderAndStopAtTheEnd)
{
    TempMedia media(3000);
    IAsyncReader* reader = LoadAndConnect(media);
    ALLOCATOR_PROPERTIES request{4, 1024, 1, 0};
    IMemAllocator* allocator = nullptr;
    ASSERT_EQ(reader->RequestAllocator(nullptr, &request, &allocator), S_OK);
    ASSERT_EQ(allocator->Commit(), S_OK);

    IMediaSample* samples[4] = {};
    for (IMediaSample*& s : samples)
        ASSERT_EQ(allocator->GetBuffer(&s, nullptr, nullptr, 0), S_OK);
    auto ask = [&](IMediaSample* s, LONGLONG at, LONGLONG length, DWORD_PTR user) {
        REFERENCE_TIME start = at * UNITS, stop = (at + length) * UNITS;
        s->SetTime(&start, &stop);
        return reader->Request(s, user);
    };
    ASSERT_EQ(ask(samples[0], 0, 1024, 10), S_OK);
    ASSERT_EQ(ask(samples[1], 1024, 1024, 11), S_OK);
    ASSERT_EQ(ask(samples[2], 2048, 1024, 12), S_OK); // 952 bytes left
    ASSERT_EQ(ask(samples[3], 4096, 1024, 13), S_OK); // wholly past the end

    const HRESULT expected[4] = {S_OK, S_OK, S_FALSE, S_FALSE};
    const LONG lengths[4] = {1024, 1024, 952, 0};
    for (int i = 0; i < 4; ++i) {
        IMediaSample* done = nullptr;
        DWORD_PTR user = 0;
        EXPECT_EQ(reader->WaitForNext(1000, &done, &user), expected[i]) << i;
        ASSERT_EQ(done, samples[i]);
        EXPECT_EQ(user, DWORD_PTR(10 + i));
        EXPECT_EQ(done->GetActualDataLength(), lengths[i]);
        BYTE* data = nullptr;
        done->GetPointer(&data);
        if (lengths[i] > 0) {
            EXPECT_EQ(data[0], ByteAt(i * 1024LL));
            EXPECT_EQ(data[lengths[i] - 1], ByteAt(i * 1024LL + lengths[i] - 1));
        }
        done->Release(); // the reference the queue gave
    }
    // The short read's times now end at the end of the file.
    REFERENCE_TIME start = 0, stop = 0;
    ASSERT_EQ(samples[2]->GetTime(&start, &stop), S_OK);
    EXPECT_EQ(stop, 3000 * UNITS);

    IMediaSample* none = reinterpret_cast<IMediaSample*>(1);
    EXPECT_EQ(reader->WaitForNext(10, &none, nullptr), VFW_E_TIMEOUT);
    EXPECT_EQ(none, nullptr);

    // Bad requests.
    IMediaSample* s = samples[0];
    s->SetTime(nullptr, nullptr);
    EXPECT_EQ(reader->Request(s, 0), VFW_E_SAMPLE_TIME_NOT_SET);
    EXPECT_EQ(ask(s, 0, 4096, 0), E_INVALIDARG) << "more than the sample holds";
    EXPECT_EQ(ask(s, -1, 10, 0), E_INVALIDARG);

    // Flushing: waiting ends at once, requests are refused until it is over.
    ASSERT_EQ(reader->BeginFlush(), S_OK);
    EXPECT_EQ(reader->WaitForNext(INFINITE, &none, nullptr), VFW_E_WRONG_STATE);
    EXPECT_EQ(ask(s, 0, 16, 0), VFW_E_WRONG_STATE);
    ASSERT_EQ(reader->EndFlush(), S_OK);
    ASSERT_EQ(ask(s, 16, 16, 99), S_OK);
    IMediaSample* done = nullptr;
    DWORD_PTR user = 0;
    EXPECT_EQ(reader->WaitForNext(1000, &done, &user), S_OK);
    EXPECT_EQ(user, DWORD_PTR(99));
    if (done)
        done->Release();

    // SyncReadAligned reads the sample's range the same way.
    REFERENCE_TIME a = 2990 * UNITS, b = 3010 * UNITS;
    s->SetTime(&a, &b);
    EXPECT_EQ(reader->SyncReadAligned(s), S_FALSE);
    EXPECT_EQ(s->GetActualDataLength(), 10);

    for (IMediaSample* sample : samples)
        sample->Release();
    allocator->Decommit();
    allocator->Release();
}

TEST_F(AsyncReaderTest, ManyThreadsReadTogether)
{
    TempMedia media(1 << 16);
    IAsyncReader* reader = LoadAndConnect(media);
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            std::vector<BYTE> buffer(700);
            for (int i = 0; i < 100; ++i) {
                LONGLONG at = (LONGLONG(i) * 997 + t * 4099) % (1 << 16);
                HRESULT hr = reader->SyncRead(at, 700, buffer.data());
                LONGLONG n = std::min<LONGLONG>(700, (1 << 16) - at);
                if (FAILED(hr))
                    ++wrong;
                for (LONGLONG k = 0; k < n; ++k)
                    if (buffer[size_t(k)] != ByteAt(at + k))
                        ++wrong;
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(wrong.load(), 0);
}
