// CTestPulseServer: a private PulseAudio server for the audio tests, started
// by the test itself: a pulseaudio daemon whose only output is a null sink
// ("tvtest") and whose only socket is in a temporary folder. No sound card and
// no session server are involved. Start points this process's PulseAudio
// clients at it (PULSE_SERVER, and TARVO_AUDIO cleared), so the DirectSound
// renderer plays into it; a recorder on the null sink's monitor keeps what it
// played, as 8000 Hz stereo, while the server runs.
//
// The server runs with the test's own uid. As root, user mode only warns
// ("not intended to be run as root"), so the same command serves CI (root)
// and developers (ordinary users); autospawn is off for the client side, so
// nothing else is ever started.
//
// Threads: the test thread. Ownership: one server per test program (a global
// that the suite's TearDownTestSuite shuts down); Start restarts it when a
// case killed it. Linking this file also brings the race detector's
// suppressions for libpulse, which is not instrumented.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// The program's path on PATH, or "" when it is not installed.
std::string TvFindOnPath(const char* name);
// The file's bytes ("" when it cannot be read).
std::string TvReadFile(const std::string& path);
// Starts a program with stdin from /dev/null and stdout/stderr to files (err
// appended to); the pid, or -1.
pid_t TvSpawn(const std::vector<std::string>& args, const std::vector<std::string>& env,
              const std::string& out, const std::string& err);
// This process's environment as NAME=value strings.
std::vector<std::string> TvCurrentEnvironment();

class CTestPulseServer {
public:
    // Empty when the server answers, else why it does not.
    std::string Start();
    bool Alive();
    // Kills the server (and the recorder): a server that goes away.
    void Kill();
    // SIGSTOP / SIGCONT: a server that stops answering, and answers again.
    void Freeze(bool on);
    // Kills the server and removes its folder.
    void Shutdown();
    std::string Dir() const { return m_dir; }
    std::string Log() const { return m_dir + "/server.log"; }
    // What the null sink played, as 8000 Hz stereo from its monitor, while
    // the server runs; empty without parec.
    std::string Recording() const
    {
        return m_recorder > 0 ? m_dir + "/monitor.raw" : std::string();
    }

private:
    std::string Socket() const { return m_dir + "/native"; }
    void StartRecorder();
    void StopRecorder();
    void Reap();

    pid_t m_pid = -1;
    pid_t m_recorder = -1;
    std::string m_dir;
};
