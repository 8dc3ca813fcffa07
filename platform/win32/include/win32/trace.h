// Debug channels: every module logs its entry points on a channel of its own,
// off by default. TARVO_TRACE holds a list of channel names separated by
// commas, spaces or colons ("com,player", "all"); the list is read once, at
// the first trace check.
//
// The channels:
//   com        CoCreateInstance and CoGetClassObject with their results
//   player     every TP_ function with its arguments and result
//   dshow      the base classes: connections, state changes, flushes,
//              allocator commits, filter registration (not per sample)
//   quartz     the filter graph manager: graph building and state changes
//   nwsource   the network source's INWSource calls
//   processor  the frame processor's interfaces (IProcesserColor)
//   parsers    the splitter's stream parsers: detection, sequence headers,
//              stream description, transport-stream program discovery
//   splitter   the splitter's ITarvoSplt calls
//   protocol   the device console's commands: address, port, payload, result
//
// Write a trace line with TV_TRACE(channel, format, ...), or trace a call and
// its result with CTvTraceCall. The arguments are evaluated only when the
// channel is on, and with every channel off (the default) the check costs one
// atomic load.
#pragma once

#include <functional>
#include <string>
#include <vector>

// True when the channel (e.g. "com", "player", "dshow") is switched on. Any
// thread.
bool TvTraceEnabled(const char* channel);

// Writes "channel: text" as one line to standard error (printf format). Lines
// written by several threads at once stay whole.
void TvTrace(const char* channel, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Replaces the channel list with `list` (the syntax of TARVO_TRACE); null
// reads TARVO_TRACE again. For tests and for programs that switch tracing
// while they run. Any thread.
void TvTraceSetChannels(const char* list);

// Runs call with exactly the channels of `channels` switched on and gives back
// the lines traced meanwhile (each "channel: text", without the line feed),
// which do not reach standard error. The channel list in force before is
// restored afterwards. One capture runs at a time. For tests.
std::vector<std::string> TvTraceCapture(const char* channels, const std::function<void()>& call);

// A text argument for a trace line: "(null)" for null.
inline const char* TvTraceText(const char* text)
{
    return text ? text : "(null)";
}

// Traces one call on a channel: the constructor formats the call and its
// arguments when the channel is on; operator() writes "call -> result" and
// passes the result on, so an entry point reads
//     CTvTraceCall trace("nwsource", "StopRecord()");
//     return trace(DoStopRecord());
// Detail() adds what the call gave back (out-values) behind the result.
class CTvTraceCall {
public:
    CTvTraceCall(const char* channel, const char* format, ...)
        __attribute__((format(printf, 3, 4)));
    CTvTraceCall(const CTvTraceCall&) = delete;
    CTvTraceCall& operator=(const CTvTraceCall&) = delete;

    // The channel is on: guard the work of a Detail call with it.
    bool On() const { return m_on; }
    void Detail(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // Writes "call -> result (0xRESULT)[: detail]" when the channel is on.
    int operator()(int result) const;

private:
    const char* m_channel;
    bool m_on;
    char m_call[512];
    char m_detail[512];
};

#define TV_TRACE(channel, ...)                                                                     \
    do {                                                                                           \
        if (TvTraceEnabled(channel))                                                               \
            TvTrace(channel, __VA_ARGS__);                                                         \
    } while (0)
