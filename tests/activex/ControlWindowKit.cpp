#include "ControlWindowKit.h"

#include <QApplication>

#include <cstdlib>
#include <cstring>

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

std::string TvWriteControlRecord(const std::string& dir, const std::string& name, int frames)
{
    tvdevsim::SimConfig config;
    config.stream.kind = tvdevsim::SimKind::Device40;
    config.stream.width = 704;
    config.stream.height = 576;
    config.stream.audio = false;
    config.transport = tvdevsim::SimTransport::None;
    config.realTime = false;
    config.frames = frames;
    config.recordPath = dir + "/" + name;
    tvdevsim::CDeviceSimulator sim;
    sim.SetLogHandler([](const std::string&) {});
    if (!sim.Start(config) || !sim.WaitFinished(120000)) {
        ADD_FAILURE() << "simulator: " << sim.Error();
        return {};
    }
    sim.Stop();
    return sim.RecordPath();
}
