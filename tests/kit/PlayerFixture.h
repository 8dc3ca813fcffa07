// TvPlayerFixture: the device simulator and TP_ players on virtual windows, for
// tests that drive the player library through its exported functions only.
//
//   OpenLive(kind, link)     starts the simulator in this process, sending one
//                            stream kind over loopback (ports picked at run
//                            time), and opens a live player on it;
//   WriteRecord(kind, n)     writes a record file of n frames with the
//                            simulator (no network), for TP_OpenLocalFile;
//   OpenFile(path)           a file player on a new window;
//   WaitFramesDrawn(h, n)    waits until the player's renderer drew n pictures
//                            (the "Render--" line of TP_GetStatistics);
//   Statistics(h)            that text, parsed.
//
// The fixture calls TP_Init in SetUp and TP_Exit in TearDown, stops its
// simulators and destroys its windows; the messages posted to each window
// (0x401 render failures, 0x402 graph events) are collected. Everything runs
// on the test thread except the message callback (platform dispatcher thread)
// and the simulators' senders; Messages() may be read at any time. Waits take
// a generous time-out only against a hung test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "TarvoPlayLib.h"
#include "tvdevsim/DeviceSimulator.h"

// How the player reaches the simulator (the player's connect type).
enum class TvLink {
    Udp,       // the player binds a UDP port; the simulator sends to 127.0.0.1
    Multicast, // the player joins a group; the simulator sends to it
    TcpServer, // the player listens; the simulator connects ("TCP(Server)")
    TcpClient, // the simulator listens; the player connects ("TCP(Client)")
};
const char* TvLinkName(TvLink link);

// The statistics text of TP_GetStatistics, line by line. A line that is
// missing leaves its fields at -1.
struct TvPlayerStats {
    int64_t recvPackets = -1, recvLength = -1, deliverSamples = -1, deliverLength = -1;
    int64_t decodedSamples = -1, decodedLength = -1;
    double frameRate = -1;
    int64_t drawn = -1, dropped = -1;
};
// False when the text holds none of the three lines.
bool ParsePlayerStatistics(const std::string& text, TvPlayerStats& stats);

// The positive number in the environment variable `name`, else fallback: how
// long the stress and soak tests run.
double TvEnvNumber(const char* name, double fallback);

// The codec kind (TP_Initialize's format type) a player uses for a simulator kind.
int TvFormatTypeFor(tvdevsim::SimKind kind);

struct TvWindowMessage {
    HWND hWnd;
    unsigned msg;
    uintptr_t wParam;
    intptr_t lParam;
};

class TvPlayerFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A new virtual window (client area width x height) whose messages are
    // collected. Destroyed in TearDown unless the test destroyed it.
    HWND NewWindow(int width = 320, int height = 240);

    // The simulator's settings for a small live stream of kind: 320 x 240 (the
    // kind's own size where it has one), 25 frames a second, no audio.
    static tvdevsim::SimConfig LiveConfig(tvdevsim::SimKind kind);

    // Starts a simulator with config (its transport, address and port set
    // here for link) and a live player on a new window (playMode 0) and opens
    // the stream. Returns the handle, or -1 after adding a failure. For
    // TvLink::Multicast it sets *skipped (and adds no failure) when this
    // machine cannot send multicast to itself; pass null to treat that as a
    // failure.
    int OpenLive(const tvdevsim::SimConfig& config, TvLink link, bool* skipped = nullptr);
    int OpenLive(tvdevsim::SimKind kind, TvLink link, bool* skipped = nullptr)
    {
        return OpenLive(LiveConfig(kind), link, skipped);
    }
    // Stops every simulator and lets them go (TearDown does it too), e.g. to
    // count the process's threads without them.
    void StopSimulators();
    // The simulator of the last OpenLive (null before).
    tvdevsim::CDeviceSimulator* Simulator()
    {
        return m_sims.empty() ? nullptr : m_sims.back().get();
    }

    // A record file of `frames` frames of kind written by the simulator into
    // the test's temporary folder, with the kind's extension, with the kind's
    // sound when audio is set. Empty after adding a failure. Removed with the
    // temporary folder in TearDown.
    std::string WriteRecord(tvdevsim::SimKind kind, int frames, bool audio = false);
    // A handle on a new window holding no player (play mode 2), then
    // TP_OpenLocalFile. Returns the handle; *result receives TP_OpenLocalFile's
    // result (a failure is not added here).
    int OpenFile(const std::string& path, int* result);

    // OpenLive, then waits until `frames` pictures are drawn. The handle, or
    // -1 after adding a failure.
    int PlayLive(tvdevsim::SimKind kind, TvLink link, int64_t frames = 1);
    // WriteRecord and OpenFile, then waits until `frames` pictures are drawn.
    // The handle, or -1 after adding a failure.
    int PlayRecord(tvdevsim::SimKind kind, int recordFrames, bool audio = false,
                   int64_t frames = 1);

    // The window a handle of OpenLive or OpenFile plays in.
    HWND WindowOf(int handle) const;

    // Waits until the player's renderer has drawn at least `frames` pictures.
    // False (no failure added) when timeoutMs passed first.
    bool WaitFramesDrawn(int handle, int64_t frames, int timeoutMs = 30000);
    // Waits until Statistics(handle).decodedSamples reaches `samples`.
    bool WaitFramesDecoded(int handle, int64_t samples, int timeoutMs = 30000);
    // TP_GetStatistics parsed; *result (may be null) receives its result.
    TvPlayerStats Statistics(int handle, int* result = nullptr);
    // TP_GetStatistics as text, for failure messages.
    std::string StatisticsText(int handle);

    // Every message posted to the fixture's windows so far.
    std::vector<TvWindowMessage> Messages();
    int CountMessages(unsigned msg);
    // Waits until a message msg has reached hWnd's callback.
    bool WaitForMessage(HWND hWnd, unsigned msg, int timeoutMs = 30000);

    // A folder of its own under the system's temporary folder, removed in
    // TearDown.
    const std::string& TempDir() const { return m_tempDir; }

private:
    static intptr_t OnMessage(HWND hWnd, unsigned msg, uintptr_t wParam, intptr_t lParam,
                              void* user);

    std::vector<std::unique_ptr<tvdevsim::CDeviceSimulator>> m_sims;
    std::vector<HWND> m_windows;
    std::string m_tempDir;
    int m_records = 0;
    std::map<int, HWND> m_handleWindows;
    std::mutex m_messageLock;
    std::vector<TvWindowMessage> m_messages; // guarded by m_messageLock
};
