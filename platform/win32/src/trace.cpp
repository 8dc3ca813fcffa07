#include "win32/trace.h"

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <string_view>
#include <utility>

namespace {

using ChannelSet = std::set<std::string, std::less<>>;

// The channel names of a list; "all" stands for every channel.
ChannelSet ParseChannels(const char* list)
{
    ChannelSet words;
    const std::string_view text = list ? list : "";
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find_first_of(", :", start);
        if (end == std::string_view::npos)
            end = text.size();
        if (end > start)
            words.emplace(text.substr(start, end - start));
        start = end + 1;
    }
    return words;
}

class CTraceChannels {
public:
    CTraceChannels() { Set(ParseChannels(std::getenv("TARVO_TRACE"))); }

    // Installs names as the channel list; gives the previous one back.
    ChannelSet Set(ChannelSet names)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        std::swap(m_names, names);
        m_all = m_names.count("all") != 0;
        m_anyOn.store(!m_names.empty(), std::memory_order_relaxed);
        return names;
    }

    bool Enabled(const char* channel)
    {
        // The common case, every channel off, needs no lock.
        if (!m_anyOn.load(std::memory_order_relaxed) || !channel)
            return false;
        std::lock_guard<std::mutex> lock(m_lock);
        return m_all || m_names.find(std::string_view(channel)) != m_names.end();
    }

    // Lines go to *lines instead of standard error while it is set.
    void SetCapture(std::vector<std::string>* lines)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_capture = lines;
    }

    // Keeps the line when a capture is running; false otherwise.
    bool Capture(const char* line)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (!m_capture)
            return false;
        m_capture->emplace_back(line);
        return true;
    }

private:
    std::atomic<bool> m_anyOn{false};
    std::mutex m_lock;
    // guarded by m_lock
    ChannelSet m_names;
    bool m_all = false;
    std::vector<std::string>* m_capture = nullptr;
};

CTraceChannels& Channels()
{
    // Never destroyed: modules may trace while the process exits.
    static CTraceChannels* channels = new CTraceChannels();
    return *channels;
}

} // namespace

bool TvTraceEnabled(const char* channel)
{
    return Channels().Enabled(channel);
}

void TvTraceSetChannels(const char* list)
{
    Channels().Set(ParseChannels(list ? list : std::getenv("TARVO_TRACE")));
}

void TvTrace(const char* channel, const char* format, ...)
{
    char line[1024];
    const int written = snprintf(line, sizeof(line), "%s: ", channel ? channel : "trace");
    const size_t prefix =
        std::min(static_cast<size_t>(written > 0 ? written : 0), sizeof(line) - 1);
    va_list args;
    va_start(args, format);
    vsnprintf(line + prefix, sizeof(line) - prefix, format, args);
    va_end(args);
    if (Channels().Capture(line))
        return;
    // One fprintf per line keeps lines from several threads whole.
    std::fprintf(stderr, "%s\n", line);
}

std::vector<std::string> TvTraceCapture(const char* channels, const std::function<void()>& call)
{
    // One capture at a time: each owns the channel list while it runs.
    static std::mutex serial;
    std::lock_guard<std::mutex> one(serial);
    std::vector<std::string> lines;
    struct Restore {
        ChannelSet previous;
        ~Restore()
        {
            Channels().SetCapture(nullptr);
            Channels().Set(std::move(previous));
        }
    } restore{Channels().Set(ParseChannels(channels))};
    Channels().SetCapture(&lines);
    call();
    return lines;
}

CTvTraceCall::CTvTraceCall(const char* channel, const char* format, ...)
    : m_channel(channel), m_on(TvTraceEnabled(channel))
{
    if (!m_on)
        return;
    m_detail[0] = '\0';
    va_list args;
    va_start(args, format);
    vsnprintf(m_call, sizeof(m_call), format, args);
    va_end(args);
}

void CTvTraceCall::Detail(const char* format, ...)
{
    if (!m_on)
        return;
    va_list args;
    va_start(args, format);
    vsnprintf(m_detail, sizeof(m_detail), format, args);
    va_end(args);
}

int CTvTraceCall::operator()(int result) const
{
    if (m_on)
        TvTrace(m_channel, "%s -> %d (0x%08X)%s%s", m_call, result, static_cast<unsigned>(result),
                m_detail[0] ? ": " : "", m_detail);
    return result;
}
