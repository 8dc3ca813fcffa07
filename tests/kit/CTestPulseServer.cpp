// The private PulseAudio server of the audio tests (CTestPulseServer.h).
#include "CTestPulseServer.h"

#include "audio/AudioSink.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point t)
{
    return std::chrono::duration<double>(Clock::now() - t).count();
}

} // namespace

std::string TvFindOnPath(const char* name)
{
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

std::string TvReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Starts a program with stdin from /dev/null and stdout/stderr to files;
// the pid, or -1.
pid_t TvSpawn(const std::vector<std::string>& args, const std::vector<std::string>& env,
              const std::string& out, const std::string& err)
{
    std::vector<char*> argv, envp;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (const auto& e : env)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, args[0].c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

std::vector<std::string> TvCurrentEnvironment()
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        env.emplace_back(*e);
    return env;
}

std::string CTestPulseServer::Start()
{
    if (m_pid > 0 && Alive())
        return {};
    Reap();
    std::string binary = TvFindOnPath("pulseaudio");
    if (binary.empty())
        return "the pulseaudio binary is not installed";
    if (m_dir.empty()) {
        char tmpl[] = "/tmp/tvpulse.XXXXXX";
        if (!mkdtemp(tmpl))
            return "no temporary folder";
        m_dir = tmpl;
        std::ofstream(m_dir + "/server.pa")
            << "load-module module-null-sink sink_name=tvtest rate=48000 channels=2\n"
            << "load-module module-native-protocol-unix socket=" << Socket()
            << " auth-anonymous=1\n"
            << "set-default-sink tvtest\n";
        std::ofstream(m_dir + "/client.conf") << "autospawn = no\n";
    }
    unlink(Socket().c_str());
    // The server's files all live in the folder; the client side of this
    // process (the renderer, pactl, parec) finds the socket by PULSE_SERVER.
    std::vector<std::string> env;
    for (const auto& e : TvCurrentEnvironment()) {
        if (e.rfind("HOME=", 0) && e.rfind("XDG_", 0) && e.rfind("PULSE_", 0))
            env.push_back(e);
    }
    env.push_back("HOME=" + m_dir);
    env.push_back("XDG_RUNTIME_DIR=" + m_dir);
    env.push_back("XDG_CONFIG_HOME=" + m_dir + "/config");
    env.push_back("PULSE_RUNTIME_PATH=" + m_dir + "/runtime");
    env.push_back("PULSE_STATE_PATH=" + m_dir + "/state");
    m_pid = TvSpawn({binary, "-n", "--daemonize=no", "--system=no", "--exit-idle-time=-1",
                     "--disallow-exit", "--use-pid-file=no", "--realtime=no", "--high-priority=no",
                     "--log-target=stderr", "-F", m_dir + "/server.pa"},
                    env, "/dev/null", Log());
    if (m_pid <= 0)
        return "pulseaudio could not be started";
    setenv("PULSE_SERVER", ("unix:" + Socket()).c_str(), 1);
    setenv("PULSE_CLIENTCONFIG", (m_dir + "/client.conf").c_str(), 1);
    unsetenv("TARVO_AUDIO");
    // Ready when a playback stream can be opened (the sink's own probe).
    auto start = Clock::now();
    while (SecondsSince(start) < 20) {
        if (!Alive()) {
            Reap();
            return "pulseaudio exited at start: " + TvReadFile(Log());
        }
        struct stat st {};
        if (stat(Socket().c_str(), &st) == 0 &&
            CreatePulseAudioSink(PcmFormat{8000, 1, 16}, "probe")) {
            StartRecorder();
            return {};
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    Kill();
    return "pulseaudio did not answer: " + TvReadFile(Log());
}

bool CTestPulseServer::Alive()
{
    return m_pid > 0 && waitpid(m_pid, nullptr, WNOHANG) == 0;
}

void CTestPulseServer::Kill()
{
    StopRecorder();
    if (m_pid > 0) {
        kill(m_pid, SIGCONT);
        kill(m_pid, SIGKILL);
    }
    Reap();
}

void CTestPulseServer::Freeze(bool on)
{
    if (m_pid > 0)
        kill(m_pid, on ? SIGSTOP : SIGCONT);
}

void CTestPulseServer::Shutdown()
{
    Kill();
    if (!m_dir.empty()) {
        std::string cmd = "rm -rf '" + m_dir + "'";
        (void)!std::system(cmd.c_str());
        m_dir.clear();
    }
}

// A recorder on the null sink's monitor, for the whole run. Besides keeping
// the record, its short latency keeps the null sink's timer short: idle, the
// sink renders two seconds ahead and a new stream would wait out that much
// silence before its first byte is taken.
void CTestPulseServer::StartRecorder()
{
    std::string parec = TvFindOnPath("parec");
    if (parec.empty())
        return;
    m_recorder = TvSpawn({parec, "--device=tvtest.monitor", "--format=s16le", "--rate=8000",
                          "--channels=2", "--raw", "--latency-msec=20"},
                         TvCurrentEnvironment(), m_dir + "/monitor.raw", Log());
    // Attached once the first bytes arrive.
    for (int i = 0; i < 200 && m_recorder > 0; ++i) {
        struct stat st {};
        if (stat((m_dir + "/monitor.raw").c_str(), &st) == 0 && st.st_size > 0)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
}

void CTestPulseServer::StopRecorder()
{
    if (m_recorder > 0) {
        kill(m_recorder, SIGTERM);
        waitpid(m_recorder, nullptr, 0);
    }
    m_recorder = -1;
}

void CTestPulseServer::Reap()
{
    if (m_pid > 0)
        waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}
