// The README's examples as a newcomer runs them: every shell block of its tools
// section, and its C example built from the README's own text, against the
// simulator.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "DevSimTestKit.h"
#include "ToolRunKit.h"
#include "tvdevsim/DeviceSimulator.h"

using namespace toolrun;

namespace {

constexpr int kBlockTimeoutMs = 180000;

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The ```sh blocks between "## Tools" and the next "## " heading.
std::vector<std::string> ToolBlocks(const std::string& readme)
{
    std::vector<std::string> blocks;
    size_t at = readme.find("\n## Tools\n");
    const size_t end = at == std::string::npos ? at : readme.find("\n## ", at + 1);
    while (at != std::string::npos) {
        at = readme.find("```sh\n", at);
        if (at == std::string::npos || at > end)
            break;
        at += 6;
        size_t close = readme.find("```", at);
        if (close == std::string::npos)
            break;
        blocks.push_back(readme.substr(at, close - at));
        at = close + 3;
    }
    return blocks;
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

TEST(Readme, ToolBlocksRunAsTheyStand)
{
    const std::vector<std::string> blocks = ToolBlocks(ReadText(README_MD));
    ASSERT_GE(blocks.size(), 4u) << "tvplay with tvdevsim (file, UDP), vxctl, tvregsvr";
    for (size_t i = 0; i < blocks.size(); ++i) {
        const std::string dir = MakeTempDir("readme-block");
        ASSERT_FALSE(dir.empty());
        // This build, a folder of its own, and ports free a moment ago instead of
        // the README's fixed ones.
        int udpPort = 0, tcpPort = 0;
        const int udp = devsimtest::BindUdp(udpPort), tcp = devsimtest::ListenTcp(tcpPort);
        ::close(udp);
        ::close(tcp);
        std::string script = blocks[i];
        ReplaceAll(script, "build/default", TV_BINARY_DIR);
        ReplaceAll(script, "/tmp/", dir + "/");
        ReplaceAll(script, "8001", std::to_string(udpPort));
        ReplaceAll(script, "9999", std::to_string(tcpPort));
        std::string output;
        const int status =
            RunProgram({"/bin/bash", "-euo", "pipefail", "-c", "cd " + dir + "\n" + script},
                       kBlockTimeoutMs, output);
        EXPECT_EQ(status, 0) << "block " << i << ":\n" << script << "\noutput:\n" << output;
    }
}

TEST(Readme, CExamplePlaysCaptionsAndCaptures)
{
    tvdevsim::SimConfig sim;
    sim.stream.kind = tvdevsim::SimKind::Device40;
    sim.stream.live = true;
    sim.transport = tvdevsim::SimTransport::TcpServer;
    sim.address = "127.0.0.1";
    sim.port = 0;
    tvdevsim::CDeviceSimulator simulator;
    ASSERT_TRUE(simulator.Start(sim)) << simulator.Error();
    const std::string dir = MakeTempDir("readme-c");
    ASSERT_FALSE(dir.empty());
    const std::string bmp = dir + "/gate3.bmp";
    std::string output;
    const int status =
        RunProgram({README_EXAMPLE_EXE, "127.0.0.1", std::to_string(simulator.StreamPort()), bmp},
                   kBlockTimeoutMs, output);
    simulator.Stop();
    if (status == 77)
        GTEST_SKIP() << "no X display for the example's window";
    ASSERT_EQ(status, 0) << output;
    EXPECT_NE(output.find("capture 0"), std::string::npos) << output;
    Picture capture;
    std::string error;
    ASSERT_TRUE(LoadCaptureBmp(bmp, capture, error)) << error;
    EXPECT_EQ(capture.width, 704);
    EXPECT_EQ(capture.height, 576);
    EXPECT_GT(capture.DistinctColours(100), 20);
    // The caption "Gate 3" at (24, 100): white text whose lower edge is 100 rows
    // above the bottom.
    int white = 0;
    for (int y = 576 - 100 - 40; y < 576 - 100; ++y)
        for (int x = 24; x < 140; ++x)
            white += Red(capture.At(x, y)) > 230 && Green(capture.At(x, y)) > 230 &&
                     Blue(capture.At(x, y)) > 230;
    EXPECT_GT(white, 100) << "no caption where the example puts it";
}

} // namespace
