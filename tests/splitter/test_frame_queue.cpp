// The frame queue of CodecKind 512: elements from pushed bytes, the list limit,
// pacing, the request thread and its callback, rate changes, the time log, and
// stopping or destroying the queue while it sleeps or calls back.
//
// Waits for other threads use a safety time-out only (kSafetyMs): when it
// passes, the awaited thing never happened.
#include "CFrameQueue.h"

#include "DeviceFrameHeader.h"

#include "win32/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kSafetyMs = 10000;

bool WaitUntil(const std::function<bool()>& done)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kSafetyMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Runs f on a thread and says whether it returned within the safety time-out
// (a deadlock fails the test instead of hanging it; the thread is then left).
bool Returns(std::function<void()> f)
{
    auto done = std::make_shared<std::promise<void>>();
    auto future = done->get_future();
    std::thread([f = std::move(f), done] {
        f();
        done->set_value();
    }).detach();
    return future.wait_for(std::chrono::milliseconds(kSafetyMs)) == std::future_status::ready;
}

struct FrameSpec {
    uint32_t seconds = 0;
    uint32_t micros = 0;
    int frameType = 1;
    bool voice = false;
    size_t payload = 64;
};

Bytes Frame(const FrameSpec& spec)
{
    DeviceFrameFields f;
    f.layout = DeviceHeaderLayout::Header36;
    f.voice = spec.voice;
    f.frameType = spec.frameType;
    f.captureSeconds = spec.seconds;
    f.captureMicros = spec.micros;
    Bytes out;
    Bytes payload(spec.payload);
    for (size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<uint8_t>(i * 7 + spec.micros);
    EXPECT_TRUE(AppendDeviceFrame(out, f, payload));
    return out;
}

void Push(CFrameQueue& q, const Bytes& bytes)
{
    q.AddFrame(bytes.data(), static_cast<LONG>(bytes.size()));
}

// A clock the test drives. Sleeps either pass at once, moving the clock on by
// their length, or (frozen) last until one of their wake events is signalled.
class TestClock final : public IFrameQueueClock {
public:
    std::atomic<int64_t> utc{1000000000000000};
    std::atomic<DWORD> tick{1000};
    std::atomic<bool> frozen{false};
    std::atomic<int> sleeping{0};

    int64_t UtcMicros() override { return utc.load(); }
    DWORD TickCount() override { return tick.load(); }
    void PacingWait(DWORD ms, const HANDLE* wake, DWORD count) override
    {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_sleeps.push_back(ms);
        }
        if (!frozen.load()) {
            tick += ms;
            utc += int64_t{ms} * 1000;
            return;
        }
        ++sleeping;
        WaitForMultipleObjects(count, wake, FALSE, INFINITE);
        --sleeping;
    }
    std::vector<DWORD> Sleeps()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_sleeps;
    }

private:
    std::mutex m_lock;
    std::vector<DWORD> m_sleeps;
};

// Records what the request callback is told. The callback is a plain function:
// its context picks the recorder.
struct CallbackRecorder {
    struct Call {
        int start, end, hundred, reason;
    };
    std::mutex lock;
    std::vector<Call> calls;
    std::atomic<int> result{1};
    // While set, the callback waits in its call until released.
    std::atomic<bool> block{false};
    std::atomic<bool> inside{false};

    std::vector<int> Reasons()
    {
        std::lock_guard<std::mutex> g(lock);
        std::vector<int> r;
        for (const Call& c : calls)
            r.push_back(c.reason);
        return r;
    }
    size_t Count()
    {
        std::lock_guard<std::mutex> g(lock);
        return calls.size();
    }
};

std::mutex g_recordersLock;
std::map<int, CallbackRecorder*> g_recorders;
int g_nextContext = 1;

int RecordingCallback(int context, int start, int end, int hundred, int reason)
{
    CallbackRecorder* r;
    {
        std::lock_guard<std::mutex> g(g_recordersLock);
        r = g_recorders.at(context);
    }
    {
        std::lock_guard<std::mutex> g(r->lock);
        r->calls.push_back({start, end, hundred, reason});
    }
    r->inside = true;
    while (r->block.load())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    r->inside = false;
    return r->result.load();
}

// Each test gets its own C: drive, so the time log is off unless a test makes
// its folder.
class FrameQueueTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "framequeue-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_drive = pattern;
        setenv("TARVO_DRIVE_C", m_drive.c_str(), 1);
    }
    void TearDown() override
    {
        unsetenv("TARVO_DRIVE_C");
        std::error_code ec;
        std::filesystem::remove_all(m_drive, ec);
        std::lock_guard<std::mutex> g(g_recordersLock);
        for (int c : m_contexts)
            g_recorders.erase(c);
    }
    int Register(CallbackRecorder& r)
    {
        std::lock_guard<std::mutex> g(g_recordersLock);
        const int context = g_nextContext++;
        g_recorders[context] = &r;
        m_contexts.push_back(context);
        return context;
    }
    std::string LogPath() const { return m_drive + "/tvxvr416/time.log"; }
    // Lets q ask r, which answers 0, and waits until that answer paused requests.
    void StartPaused(CFrameQueue& q, CallbackRecorder& r)
    {
        r.result = 0;
        q.SetActive(true);
        ASSERT_EQ(q.SetVodCallback(RecordingCallback, Register(r)), S_OK);
        ASSERT_TRUE(WaitUntil([&] { return !q.RequestsAllowed(); }));
    }

    std::string m_drive;
    std::vector<int> m_contexts;
};

// ---- elements ----

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST_F(FrameQueueTest, OnePushWithTwoFramesGivesTwoElements)
{
    CFrameQueue q;
    const Bytes video = Frame({.seconds = 12, .micros = 345678, .frameType = 2, .payload = 100});
    const Bytes voice = Frame({.seconds = 12, .micros = 400000, .voice = true, .payload = 20});
    Bytes both = video;
    both.insert(both.end(), voice.begin(), voice.end());
    Push(q, both);
    ASSERT_EQ(q.Count(), 2u);

    struct Expect {
        const Bytes& bytes;
        int audio, frameType;
        int64_t timestamp;
    };
    const Expect expects[] = {{video, 0, 2, 12345678}, {voice, 1, 0, 12400000}};
    for (const Expect& e : expects) {
        FrameElement el;
        ASSERT_TRUE(q.GetNextFrame(el));
        EXPECT_EQ(el.audio, e.audio);
        EXPECT_EQ(el.frameType, e.frameType);
        EXPECT_EQ(el.length, static_cast<int32_t>(e.bytes.size()));
        EXPECT_EQ(el.timestamp, e.timestamp);
        ASSERT_GE(el.buffer.size(), e.bytes.size());
        EXPECT_TRUE(std::equal(e.bytes.begin(), e.bytes.end(), el.buffer.begin()));
    }
    FrameElement none;
    none.length = 77;
    EXPECT_FALSE(q.GetNextFrame(none));
    EXPECT_EQ(none.length, 77); // untouched
}

TEST_F(FrameQueueTest, FramesSplitAcrossPushesAssemble)
{
    CFrameQueue q;
    const Bytes f = Frame({.seconds = 1, .payload = 5000});
    for (size_t at = 0; at < f.size(); at += 333)
        q.AddFrame(f.data() + at, static_cast<LONG>(std::min<size_t>(333, f.size() - at)));
    ASSERT_EQ(q.Count(), 1u);
    FrameElement el;
    ASSERT_TRUE(q.GetNextFrame(el));
    EXPECT_EQ(el.length, static_cast<int32_t>(f.size()));
    EXPECT_TRUE(std::equal(f.begin(), f.end(), el.buffer.begin()));
}

TEST_F(FrameQueueTest, FullListRefusesTheNextFrame)
{
    std::filesystem::create_directories(m_drive + "/tvxvr416");
    TestClock clock;
    {
        CFrameQueue q(&clock);
        for (uint32_t i = 0; i < CFrameQueue::kMaxQueued + 2; ++i)
            Push(q, Frame({.seconds = i}));
        // 101 fit; the 102nd was dropped, not queued behind them.
        ASSERT_EQ(q.Count(), CFrameQueue::kMaxQueued + 1);
        FrameElement el;
        ASSERT_TRUE(q.GetNextFrame(el));
        Push(q, Frame({.seconds = 500}));
        EXPECT_EQ(q.Count(), CFrameQueue::kMaxQueued + 1);
        int64_t last = 0;
        while (q.GetNextFrame(el))
            last = el.timestamp;
        EXPECT_EQ(last, int64_t{500} * 1000000);
    }
    EXPECT_NE(ReadAll(LogPath()).find("\nAddFrame: ID:101000000, Count:101, Now:1000, sub:0, "
                                      "StreamTime:101000000, sub:1000, Ret:-1, "),
              std::string::npos);
}

TEST_F(FrameQueueTest, ClearDropsQueuedAndPartlyAssembledFrames)
{
    CFrameQueue q;
    Push(q, Frame({.seconds = 1}));
    const Bytes f = Frame({.seconds = 2, .payload = 300});
    q.AddFrame(f.data(), 100);
    q.Clear();
    EXPECT_EQ(q.Count(), 0u);
    // The rest of the old frame is no frame on its own.
    q.AddFrame(f.data() + 100, static_cast<LONG>(f.size() - 100));
    EXPECT_EQ(q.Count(), 0u);
}

// ---- pacing ----

struct PaceCase {
    std::string name;
    VodPacing before;
    int64_t t, now;
    double rate;
    DWORD sleepMs;
    bool jump;
    VodPacing after;
};

class VodPaceTest : public ::testing::TestWithParam<PaceCase> {};

TEST_P(VodPaceTest, SleepAndAnchors)
{
    const PaceCase& c = GetParam();
    VodPacing p = c.before;
    const VodPaceStep step = VodPace(p, c.t, c.now, c.rate);
    EXPECT_EQ(step.sleepMs, c.sleepMs);
    EXPECT_EQ(step.jump, c.jump);
    EXPECT_EQ(p.streamAnchor, c.after.streamAnchor);
    EXPECT_EQ(p.wallAnchor, c.after.wallAnchor);
    EXPECT_EQ(p.lastStreamTime, c.after.lastStreamTime);
}

// Anchored: stream 1000000 at wall 5000000, previous element at 1000000.
constexpr VodPacing kAnchored{1000000, 5000000, 1000000};
// Unset anchors, previous element at 3000000.
constexpr VodPacing kUnsetAhead{-1, -1, 3000000};

const PaceCase kPaceCases[] = {
    {"FirstJumps", {}, 2000000, 9000000, 1.0, 500, true, {2000000, 9500000, 2000000}},
    {"FirstBehind40", kUnsetAhead, 2000000, 9000000, 1.0, 40, true, {2000000, 9500000, 2000000}},
    {"OnTimeline", kAnchored, 1040000, 5000000, 1.0, 40, false, {1000000, 5000000, 1040000}},
    {"LateReanchors", kAnchored, 1040000, 5100000, 1.0, 0, false, {1040000, 5100000, 1040000}},
    {"WaitMax1000", kAnchored, 1400000, 3000000, 1.0, 1000, false, {1000000, 5000000, 1400000}},
    {"Rate1At500000", kAnchored, 1500000, 5500000, 1.0, 0, false, {1000000, 5000000, 1500000}},
    {"Rate1At500001", kAnchored, 1500001, 5500000, 1.0, 500, true, {1500001, 6000000, 1500001}},
    {"Rate4At125000", kAnchored, 1125000, 5125000, 4.0, 0, false, {1000000, 5000000, 1125000}},
    {"Rate4At125001", kAnchored, 1125001, 5125000, 4.0, 500, true, {1125001, 5625000, 1125001}},
    {"BackStep40", kAnchored, 960000, 5000000, -1.0, 40, true, {960000, 5500000, 960000}},
    {"BackLongLate", kAnchored, 400000, 5000000, -1.0, 0, false, {400000, 5000000, 400000}},
    {"RateZeroNoJump", kAnchored, 9000000, 5000000, 0.0, 1000, false, {1000000, 5000000, 9000000}},
};

INSTANTIATE_TEST_SUITE_P(Steps, VodPaceTest, ::testing::ValuesIn(kPaceCases),
                         [](const auto& info) { return info.param.name; });

TEST_F(FrameQueueTest, PacesOnlyWithACallbackAndByTheRate)
{
    CallbackRecorder r; // outlives the queue, whose end calls it
    TestClock clock;
    CFrameQueue q(&clock);
    Push(q, Frame({.seconds = 1}));
    FrameElement el;
    ASSERT_TRUE(q.GetNextFrame(el));
    EXPECT_TRUE(clock.Sleeps().empty()); // no callback: no pacing

    ASSERT_EQ(q.SetVodCallback(RecordingCallback, Register(r)), S_OK);
    q.SetRate(4.0);
    // Rate 4: a step of 125000 us follows the timeline, one more jumps.
    Push(q, Frame({.seconds = 10, .micros = 0}));
    Push(q, Frame({.seconds = 10, .micros = 125000}));
    Push(q, Frame({.seconds = 10, .micros = 250001}));
    while (q.GetNextFrame(el)) {
    }
    // The first re-anchors (500 ms); the second is 125 ms after it on the
    // anchored timeline; the third is 125001 us on, a jump at rate 4.
    EXPECT_EQ(clock.Sleeps(), (std::vector<DWORD>{500, 125, 500}));
}

// ---- the request thread and its callback ----

struct ReasonCase {
    std::string name;
    double rate;
    int reason;
};

class RequestReasonTest : public FrameQueueTest,
                          public ::testing::WithParamInterface<ReasonCase> {};

TEST_P(RequestReasonTest, CallbackIsToldTheReasonForTheRateThenThreadEnd)
{
    const ReasonCase& c = GetParam();
    EXPECT_EQ(VodReasonForRate(c.rate), c.reason);
    CallbackRecorder r;
    {
        CFrameQueue q;
        q.SetRate(c.rate);
        q.SetActive(true);
        ASSERT_EQ(q.SetVodCallback(RecordingCallback, Register(r)), S_OK);
        ASSERT_TRUE(WaitUntil([&] { return r.Count() >= 2; }));
    }
    const std::vector<int> reasons = r.Reasons();
    ASSERT_GE(reasons.size(), 3u);
    for (size_t i = 0; i + 1 < reasons.size(); ++i)
        EXPECT_EQ(reasons[i], c.reason);
    EXPECT_EQ(reasons.back(), VOD_REASON_THREAD_END);
    std::lock_guard<std::mutex> g(r.lock);
    EXPECT_EQ(r.calls[0].hundred, 100);
}

const ReasonCase kReasonCases[] = {
    {"Forward1", 1.0, VOD_REASON_FORWARD},
    {"Forward2", 2.0, VOD_REASON_FORWARD},
    {"Forward0_5", 0.5, VOD_REASON_FORWARD},
    {"Backward0", 0.0, VOD_REASON_BACKWARD},
    {"BackwardMinus1", -1.0, VOD_REASON_BACKWARD},
    {"BackwardMinus2", -2.0, VOD_REASON_BACKWARD},
    {"FastForward2_5", 2.5, VOD_REASON_FAST_FORWARD},
    {"FastForward8", 8.0, VOD_REASON_FAST_FORWARD},
    {"FastBackwardMinus4", -4.0, VOD_REASON_FAST_BACKWARD},
};

INSTANTIATE_TEST_SUITE_P(Rates, RequestReasonTest, ::testing::ValuesIn(kReasonCases),
                         [](const auto& info) { return info.param.name; });

TEST_F(FrameQueueTest, RequestsOnlyWhileActiveAndFewerThanThreeQueued)
{
    CallbackRecorder r;
    TestClock clock; // pacing sleeps pass at once
    CFrameQueue q(&clock);
    for (uint32_t i = 0; i < 3; ++i)
        Push(q, Frame({.seconds = i}));
    ASSERT_EQ(q.SetVodCallback(RecordingCallback, Register(r)), S_OK);
    q.SetActive(true);
    // Three queued: no request. Taking one lets the thread ask.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(r.Count(), 0u);
    FrameElement el;
    ASSERT_TRUE(q.GetNextFrame(el));
    ASSERT_TRUE(WaitUntil([&] { return r.Count() >= 1; }));
    q.SetActive(false);
    const size_t afterInactive = r.Count() + 1; // one call may be under way
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_LE(r.Count(), afterInactive);
}

TEST_F(FrameQueueTest, ResultZeroPausesRequestsUntilResumed)
{
    CallbackRecorder r;
    CFrameQueue q;
    ASSERT_NO_FATAL_FAILURE(StartPaused(q, r));
    EXPECT_EQ(r.Count(), 1u);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(r.Count(), 1u);
    q.ResumeVodRequests();
    ASSERT_TRUE(WaitUntil([&] { return r.Count() == 2 && !q.RequestsAllowed(); }));
}

TEST_F(FrameQueueTest, SetVodRangeTellsTheOldRangeThenClearsAndStores)
{
    CallbackRecorder r;
    CFrameQueue q;
    EXPECT_EQ(q.SetVodCallback(nullptr, 5), -1);
    ASSERT_EQ(q.SetVodCallback(RecordingCallback, Register(r)), S_OK);
    ASSERT_EQ(q.SetVodRange(10, 20), S_OK);
    Push(q, Frame({.seconds = 1}));
    ASSERT_EQ(q.SetVodRange(30, 40), S_OK);
    EXPECT_EQ(q.Count(), 0u);
    int start = 0, end = 0;
    q.GetVodRange(&start, &end);
    EXPECT_EQ(start, 30);
    EXPECT_EQ(end, 40);
    std::lock_guard<std::mutex> g(r.lock);
    ASSERT_EQ(r.calls.size(), 2u); // inactive: the thread asks nothing
    EXPECT_EQ(r.calls[0].reason, VOD_REASON_NEW_RANGE);
    EXPECT_EQ(r.calls[0].start, 0);
    EXPECT_EQ(r.calls[1].start, 10);
    EXPECT_EQ(r.calls[1].end, 20);
}

// ---- rate changes ----

struct RateChangeCase {
    std::string name;
    double from, to;
    bool clears;
};

class RateChangeTest : public FrameQueueTest,
                       public ::testing::WithParamInterface<RateChangeCase> {};

TEST_P(RateChangeTest, ClearsOnDirectionOrSpeedClassChange)
{
    const RateChangeCase& c = GetParam();
    EXPECT_EQ(VodRateChangeClears(c.from, c.to), c.clears);
    CFrameQueue q;
    q.SetRate(c.from);
    Push(q, Frame({.seconds = 1}));
    Push(q, Frame({.seconds = 2}));
    q.SetRate(c.to);
    EXPECT_EQ(q.Count(), c.clears ? 0u : 2u);
    EXPECT_EQ(q.GetRate(), c.to);
}

const RateChangeCase kRateChangeCases[] = {
    {"ForwardToBackward", 1.0, -1.0, true},
    {"BackwardToForward", -0.5, 0.5, true},
    {"NormalToFast", 1.0, 4.0, true},
    {"TwoToFast", 2.0, 2.5, true},
    {"FastToNormal", 4.0, 2.0, true},
    {"FastToFaster", 4.0, 8.0, false},
    {"NormalToNormal", 1.0, 0.5, false},
    {"ForwardToZero", 1.0, 0.0, false},
    {"ZeroToFast", 0.0, 4.0, false},
    {"BackwardToFastBackward", -1.0, -4.0, false},
    {"FastBackwardToFastForward", -4.0, 4.0, true},
};

INSTANTIATE_TEST_SUITE_P(Rates, RateChangeTest, ::testing::ValuesIn(kRateChangeCases),
                         [](const auto& info) { return info.param.name; });

// ---- the time log ----

TEST_F(FrameQueueTest, TimeLogLinesWhenItsFolderExists)
{
    std::filesystem::create_directories(m_drive + "/tvxvr416");
    TestClock clock;
    CallbackRecorder r;
    r.result = 0; // one request only
    {
        CFrameQueue q(&clock);
        Bytes two = Frame({.seconds = 10, .micros = 0});
        const Bytes second = Frame({.seconds = 10, .micros = 40000});
        two.insert(two.end(), second.begin(), second.end());
        Push(q, two);
        ASSERT_EQ(q.SetVodCallback(RecordingCallback, Register(r)), S_OK);
        FrameElement el;
        ASSERT_TRUE(q.GetNextFrame(el));
        ASSERT_TRUE(q.GetNextFrame(el));
        q.SetActive(true);
        ASSERT_TRUE(WaitUntil([&] { return r.Count() == 1; }));
    }
    EXPECT_EQ(ReadAll(LogPath()),
              "\nAddFrame: ID:10000000, Count:1, Now:1000, sub:1000, StreamTime:10000000, "
              "sub:10000, Ret:0, "
              "\nAddFrame: ID:10040000, Count:2, Now:1000, sub:0, StreamTime:10040000, sub:40, "
              "Ret:0, "
              "\nGetNextFrame--ID:10000000, Count:1, Start:1000, sub:1000, TimeStamp:10000000, "
              "sub:10000 Sleep1:500, End:1500, sub:500"
              "\nGetNextFrame--ID:10040000, Count:0, Start:1500, sub:500, TimeStamp:10040000, "
              "sub:40 Sleep2:40, End:1540, sub:40"
              "\nVODRequest:1540, sub:1540");
}

TEST_F(FrameQueueTest, NoTimeLogWithoutItsFolder)
{
    {
        CFrameQueue q;
        Push(q, Frame({.seconds = 1}));
        FrameElement el;
        ASSERT_TRUE(q.GetNextFrame(el));
    }
    EXPECT_FALSE(std::filesystem::exists(m_drive + "/tvxvr416"));
    EXPECT_TRUE(std::filesystem::is_empty(m_drive));
}

// ---- stopping and destroying ----

// What ends a pacing sleep, and whether the element is still handed out.
struct WakeCase {
    std::string name;
    std::function<void(CFrameQueue&, HANDLE interrupt)> wake;
    int64_t timestamp; // -1: dropped
};

class PacingWakeTest : public FrameQueueTest, public ::testing::WithParamInterface<WakeCase> {};

TEST_P(PacingWakeTest, EndsTheSleepAtOnce)
{
    HANDLE interrupt = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(interrupt, nullptr);
    CallbackRecorder r;
    {
        // The first element is paced by a 500 ms sleep that, on the frozen
        // clock, lasts until something wakes it.
        TestClock clock;
        clock.frozen = true;
        CFrameQueue q(&clock);
        q.SetInterruptEvent(interrupt);
        ASSERT_EQ(q.SetVodCallback(RecordingCallback, Register(r)), S_OK);
        Push(q, Frame({.seconds = 3}));
        auto delivery = std::async(std::launch::async, [&] {
            FrameElement el;
            return q.GetNextFrame(el) ? el.timestamp : -1;
        });
        ASSERT_TRUE(WaitUntil([&] { return clock.sleeping.load() == 1; }));
        GetParam().wake(q, interrupt);
        ASSERT_EQ(delivery.wait_for(std::chrono::milliseconds(kSafetyMs)),
                  std::future_status::ready);
        EXPECT_EQ(delivery.get(), GetParam().timestamp);
    }
    EXPECT_EQ(r.Reasons(), std::vector<int>{VOD_REASON_THREAD_END});
    CloseHandle(interrupt);
}

const WakeCase kWakeCases[] = {
    {"ClearDropsTheElement", [](CFrameQueue& q, HANDLE) { q.Clear(); }, -1},
    {"ShutdownDropsTheElement", [](CFrameQueue& q, HANDLE) { q.Shutdown(); }, -1},
    {"InterruptHandsItOut", [](CFrameQueue&, HANDLE e) { SetEvent(e); }, 3000000},
};

INSTANTIATE_TEST_SUITE_P(Wakers, PacingWakeTest, ::testing::ValuesIn(kWakeCases),
                         [](const auto& info) { return info.param.name; });

TEST_F(FrameQueueTest, StopAndDestructionWhileTheCallbackRuns)
{
    CallbackRecorder r;
    r.block = true;
    // The request, once released, asks for no more: otherwise the request
    // thread's next turn may come before the destroyer has even begun (a
    // loaded machine) and add another FORWARD before THREAD_END.
    r.result = 0;
    auto q = std::make_unique<CFrameQueue>();
    q->SetActive(true);
    ASSERT_EQ(q->SetVodCallback(RecordingCallback, Register(r)), S_OK);
    ASSERT_TRUE(WaitUntil([&] { return r.inside.load(); }));

    // The filter's Stop, delivery, counting and the getters go on meanwhile.
    CFrameQueue* queue = q.get();
    EXPECT_TRUE(Returns([queue] {
        queue->Clear();
        FrameElement el;
        queue->GetNextFrame(el);
        queue->Count();
        queue->GetRate();
        int s, e;
        queue->GetVodRange(&s, &e);
        const Bytes f = Frame({.seconds = 1});
        queue->AddFrame(f.data(), static_cast<LONG>(f.size()));
    }));

    // Destruction waits for the callback, then ends the thread with 0x40.
    std::atomic<bool> destroyed{false};
    std::thread destroyer([&] {
        q.reset();
        destroyed = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(destroyed.load());
    r.block = false;
    destroyer.join();
    const std::vector<int> reasons = r.Reasons();
    ASSERT_EQ(reasons.size(), 2u);
    EXPECT_EQ(reasons[0], VOD_REASON_FORWARD);
    EXPECT_EQ(reasons[1], VOD_REASON_THREAD_END);
}

// With requests paused, SetVodRange waits until they are allowed again or the
// queue shuts down.
struct RangeReleaseCase {
    std::string name;
    bool shutdown;
    HRESULT result;
    int start; // the range start afterwards
};

class RangeReleaseTest : public FrameQueueTest,
                         public ::testing::WithParamInterface<RangeReleaseCase> {};

TEST_P(RangeReleaseTest, WaitingSetVodRangeIsReleased)
{
    const RangeReleaseCase& c = GetParam();
    CallbackRecorder r;
    CFrameQueue q;
    ASSERT_NO_FATAL_FAILURE(StartPaused(q, r));
    q.SetActive(false);
    auto setRange = std::async(std::launch::async, [&] { return q.SetVodRange(5, 6); });
    EXPECT_EQ(setRange.wait_for(std::chrono::milliseconds(20)), std::future_status::timeout);
    if (c.shutdown)
        q.Shutdown();
    else
        q.ResumeVodRequests();
    ASSERT_EQ(setRange.wait_for(std::chrono::milliseconds(kSafetyMs)), std::future_status::ready);
    EXPECT_EQ(setRange.get(), c.result);
    int start = -1;
    q.GetVodRange(&start, nullptr);
    EXPECT_EQ(start, c.start);
    const int told = c.shutdown ? VOD_REASON_THREAD_END : VOD_REASON_NEW_RANGE;
    EXPECT_EQ(r.Reasons(), (std::vector<int>{VOD_REASON_FORWARD, told}));
}

const RangeReleaseCase kRangeReleaseCases[] = {
    {"ByResume", false, S_OK, 5},
    {"ByShutdown", true, E_FAIL, 0},
};

INSTANTIATE_TEST_SUITE_P(Releases, RangeReleaseTest, ::testing::ValuesIn(kRangeReleaseCases),
                         [](const auto& info) { return info.param.name; });

TEST_F(FrameQueueTest, NothingStartsAfterShutdown)
{
    CallbackRecorder r;
    CFrameQueue q;
    q.Shutdown();
    EXPECT_EQ(q.SetVodCallback(RecordingCallback, Register(r)), E_FAIL);
    EXPECT_EQ(q.SetVodRange(1, 2), E_FAIL);
    EXPECT_EQ(r.Count(), 0u);
}

} // namespace
