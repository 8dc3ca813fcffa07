#include "ControlWindowKit.h"

#include <QApplication>

#include <cstdlib>
#include <cstring>

#include "TarvoPlayerOCXEvents.h"
#include "tvdevsim/DeviceSimulator.h"

void TvQtEnvironment::SetUp()
{
    const char* display = std::getenv("DISPLAY");
    const bool x11 = std::strcmp(m_platform, "xcb") == 0 && display && *display;
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", x11 ? "xcb" : "offscreen", 1);
    m_app = new QApplication(m_argc, m_argv);
}

void TvQtEnvironment::TearDown()
{
    delete static_cast<QApplication*>(m_app);
    m_app = nullptr;
}

namespace {

std::string WriteRecord(const tvdevsim::SimConfig& config, const std::string& name,
                        std::string* error)
{
    tvdevsim::CDeviceSimulator sim;
    sim.SetLogHandler([](const std::string&) {});
    // Guards against a hang only: the race detector's build on a busy machine
    // takes minutes for a few hundred pictures.
    std::string failure;
    if (!sim.Start(config))
        failure = "simulator: " + sim.Error();
    else if (!sim.WaitFinished(600000))
        failure = "simulator: " + name + " not written within 600 s";
    if (!failure.empty()) {
        if (error)
            *error = failure;
        else
            ADD_FAILURE() << failure;
        return {};
    }
    sim.Stop();
    return sim.RecordPath();
}

tvdevsim::SimConfig RecordConfig(tvdevsim::SimKind kind, int frames, const std::string& path)
{
    tvdevsim::SimConfig config;
    config.stream.kind = kind;
    config.transport = tvdevsim::SimTransport::None;
    config.realTime = false;
    config.frames = frames;
    config.recordPath = path;
    return config;
}

} // namespace

std::string TvWriteControlRecord(const std::string& dir, const std::string& name, int frames,
                                 std::string* error)
{
    tvdevsim::SimConfig config =
        RecordConfig(tvdevsim::SimKind::Device40, frames, dir + "/" + name);
    config.stream.width = 704;
    config.stream.height = 576;
    config.stream.audio = false;
    return WriteRecord(config, name, error);
}

std::string TvWriteKindRecord(const std::string& dir, tvdevsim::SimKind kind, int frames)
{
    const std::string name = tvdevsim::KindName(kind);
    return WriteRecord(RecordConfig(kind, frames, dir + "/" + name), name, nullptr);
}

bool TvAdviseSink(IDispatch* control, IDispatch* sink)
{
    IConnectionPointContainer* container = nullptr;
    if (control->QueryInterface(IID_IConnectionPointContainer,
                                reinterpret_cast<void**>(&container)) != S_OK)
        return false;
    IConnectionPoint* point = nullptr;
    const bool found = container->FindConnectionPoint(DIID__DTarvoPlayerOCXEvents, &point) == S_OK;
    container->Release();
    if (!found)
        return false;
    DWORD cookie = 0;
    const bool advised = point->Advise(sink, &cookie) == S_OK;
    point->Release();
    return advised;
}
