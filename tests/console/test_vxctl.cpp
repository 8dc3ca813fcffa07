// vxctl as engineers run it, against the device side on 127.0.0.1.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>

#include "tvdevice/DeviceControlServer.h"
#include "tvprotocol/CommandCatalogue.h"

namespace {

struct RunResult {
    int exitCode = -1;
    std::string out;
};

RunResult Vxctl(const std::string& args)
{
    RunResult result;
    const std::string command = std::string(VXCTL_PATH) + " " + args + " 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return result;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.out.append(buffer, n);
    const int status = ::pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

class VxctlTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(m_device.Start(0, "127.0.0.1"), 0);
        m_prefix = "--port " + std::to_string(m_device.Port()) + " 127.0.0.1 ";
    }
    tvdevice::CDeviceControlServer m_device;
    std::string m_prefix;
};

} // namespace

TEST_F(VxctlTool, HelpListsEveryOperation)
{
    const RunResult r = Vxctl("--help");
    EXPECT_EQ(r.exitCode, 0);
    size_t count = 0;
    const tvprotocol::CommandInfo* table = tvprotocol::CommandTable(&count);
    for (size_t i = 0; i < count; ++i)
        EXPECT_NE(r.out.find(std::string(table[i].operation) + " "), std::string::npos)
            << table[i].operation;
    EXPECT_NE(r.out.find("contactAttribute1..4"), std::string::npos);
    // The console rules it leaves to the caller are named.
    EXPECT_NE(r.out.find("the console always sends 5 (H264)"), std::string::npos);
    EXPECT_NE(r.out.find("the console sends portNumber + 1200"), std::string::npos);
}

TEST_F(VxctlTool, RangesAndTextsAreThoseOfTheConsole)
{
    const uint64_t before = m_device.ConnectionCount();
    struct Case {
        const char* args;
        const char* out;
    } refused[] = {
        {"PtzControl command=32 speed=1", "云台控制失败:参数错误\r\n"},
        {"PtzControl command=1 speed=6", "云台控制失败:参数错误\r\n"},
        {"SetSerialPortParameters portNumber=1 dataBits=9 stopBits=1 ptzProtocol=1",
         "设备串口参数失败:参数错误\r\n"},
        {"StartStreamSending codec=5 streamType=4 transport=1 peerAddress=127.0.0.1",
         "启动码流发送失败:参数错误\r\n"},
    };
    for (const Case& c : refused) {
        const RunResult r = Vxctl(m_prefix + c.args);
        EXPECT_EQ(r.exitCode, 1) << c.args;
        EXPECT_EQ(r.out, c.out) << c.args;
    }
    // Derived console values are not imposed: the codec and port go out as given.
    RunResult r = Vxctl(m_prefix + "SetEncoderParameters codec=2 resolution=3 frameRate=25");
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(m_device.Settings().encoder.codec, 2);
    r = Vxctl(m_prefix + "SetDeviceNumber deviceNumber=摄像机1");
    EXPECT_EQ(r.exitCode, 0) << r.out;
    const std::vector<uint8_t> wire = m_device.LastRequest(tvprotocol::kCmdSetDeviceNumber);
    ASSERT_EQ(wire.size(), 36u);
    EXPECT_EQ(std::vector<uint8_t>(wire.begin() + 4, wire.begin() + 12),
              (std::vector<uint8_t>{0xC9, 0xE3, 0xCF, 0xF1, 0xBB, 0xFA, '1', 0}));
    EXPECT_EQ(m_device.ConnectionCount(), before + 2);
}

TEST_F(VxctlTool, SetAndGetPrintTheConsoleLogText)
{
    RunResult r = Vxctl(m_prefix + "SetWorkMode workMode=2");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "设置工作模式成功\r\n");
    r = Vxctl(m_prefix + "GetWorkMode");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "工作模式:编解码\r\n");

    // Per-channel fields; unset fields go out as 0.
    r = Vxctl(m_prefix + "SetAlarmInputParameters contactAttribute1=2 ptzAddress4=0x10");
    EXPECT_EQ(r.exitCode, 0);
    const std::vector<uint8_t> wire = m_device.LastRequest(tvprotocol::kCmdSetAlarmInputParameters);
    ASSERT_EQ(wire.size(), 28u);
    EXPECT_EQ(std::vector<uint8_t>(wire.begin() + 4, wire.begin() + 16),
              (std::vector<uint8_t>{0, 0, 0, 2, 0, 0, 0, 0, 0x10, 0, 0, 0}));

    r = Vxctl(m_prefix + "SetEncoderOsd \"text=Gate 3\" textShown=1");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(m_device.Settings().encoderOsd.text, "Gate 3");

    r = Vxctl(m_prefix + "GetSerialPortParameters portNumber=3");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.rfind("编号:3\r\n模式:485\r\n", 0), 0u) << r.out;
}

TEST_F(VxctlTool, FailuresPrintNameAndTextAndExitOne)
{
    RunResult r = Vxctl(m_prefix + "SetSystemTime year=2038 month=1 day=1");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "设置系统时间失败:参数错误\r\n");

    r = Vxctl(m_prefix + "GetStreamSendingInformation");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "获取码流发送信息失败:无码流发送信息\r\n");

    tvdevice::FaultPlan plan;
    plan.fault = tvdevice::DeviceFault::StatusError;
    plan.status = 3;
    m_device.SetFault(plan);
    r = Vxctl(m_prefix + "RebootDevice");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "设备重启失败:命令不支持\r\n");
}

TEST_F(VxctlTool, BadUsageExitsTwoWithoutTraffic)
{
    const uint64_t before = m_device.RequestCount();
    for (const char* args :
         {"", "127.0.0.1", "NoSuchCommand", "GetWorkMode workMode=1", "SetWorkMode mode=1",
          "SetWorkMode workMode=two", "SetWorkMode workMode=1 workMode=2", "SetWorkMode =1",
          "RestoreSerialPortParameters portNumber=x"}) {
        const RunResult r = Vxctl(m_prefix + args);
        EXPECT_EQ(r.exitCode, 2) << args;
        EXPECT_EQ(r.out, "") << args;
    }
    EXPECT_EQ(Vxctl("--port 0 127.0.0.1 GetWorkMode").exitCode, 2);
    EXPECT_EQ(Vxctl("--port").exitCode, 2);
    EXPECT_EQ(m_device.RequestCount(), before);
}
