// Capture, recording, data input and overlays through the TP_ functions on a
// live stream player whose graph is built from the build's registry but has
// not seen its first media type yet (no stream is sent): the folder rules of
// TP_GrabPicture and TP_StartRecord, the "tvx" recording, and what the
// overlay functions answer before the frame processor exists. The C: drive is
// a temporary folder.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include <windows.h>

#include "TarvoPlayLib.h"

namespace {

bool Exists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

long long FileSize(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

class CaptureApi : public ::testing::Test {
protected:
    void SetUp() override
    {
        char dir[] = "/tmp/tvcapture_api_XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        m_drive = dir;
        setenv("TARVO_DRIVE_C", dir, 1);
        TP_Exit();
        m_window = TvCreateVirtualWindow(320, 240);
        ASSERT_NE(m_window, nullptr);
        m_player = TP_Initialize(m_window, 1, 3, 0, 0);
        ASSERT_GE(m_player, 0);
        m_empty = TP_Initialize(m_window, 1, 3, 2, 0);
        ASSERT_GE(m_empty, 0);
    }

    void TearDown() override
    {
        TP_Exit();
        DestroyWindow(m_window);
        unsetenv("TARVO_DRIVE_C");
        std::string command = "rm -rf '" + m_drive + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
    }

    std::string OnDrive(const std::string& rest) const { return m_drive + "/" + rest; }

    std::string m_drive;
    HWND m_window = nullptr;
    int m_player = -1;
    int m_empty = -1;
};

TEST_F(CaptureApi, RecordGoesIntoTvxAndLeavesTheProbedFileEmpty)
{
    ASSERT_EQ(mkdir(OnDrive("rec").c_str(), 0755), 0);
    ASSERT_EQ(TP_StartRecord(m_player, "C:\\rec", "cam1.avi"), 0);
    EXPECT_TRUE(Exists(OnDrive("rec/cam1.tvx")));
    EXPECT_EQ(FileSize(OnDrive("rec/cam1.avi")), 0);
    EXPECT_EQ(TP_StopRecord(m_player), 0);
}

TEST_F(CaptureApi, RecordFolderIsCreatedOneLevelOnly)
{
    EXPECT_EQ(TP_StartRecord(m_player, "C:\\rec2", "\\cam2.avi"), 0);
    EXPECT_TRUE(Exists(OnDrive("rec2/cam2.tvx")));
    EXPECT_EQ(TP_StopRecord(m_player), 0);

    EXPECT_EQ(TP_StartRecord(m_player, "C:\\a\\b", "cam3.avi"), TP_ERR_FILE_ACCESS);
    EXPECT_FALSE(Exists(OnDrive("a")));
}

TEST_F(CaptureApi, GrabFolderIsCreatedOneLevelOnly)
{
    // The graph has no frame processor before its first picture: after the
    // folder rule the grab answers "no video window".
    EXPECT_EQ(TP_GrabPicture(m_player, "C:\\shots\\one.bmp"), TP_ERR_NO_VIDEO_WINDOW);
    EXPECT_TRUE(Exists(OnDrive("shots")));
    EXPECT_FALSE(Exists(OnDrive("shots/one.bmp")));

    // Into a folder that exists the probe leaves an empty file.
    EXPECT_EQ(TP_GrabPicture(m_player, "C:\\shots\\two.bmp"), TP_ERR_NO_VIDEO_WINDOW);
    EXPECT_EQ(FileSize(OnDrive("shots/two.bmp")), 0);

    EXPECT_EQ(TP_GrabPicture(m_player, "C:\\x\\y\\three.bmp"), TP_ERR_FILE_ACCESS);
    EXPECT_FALSE(Exists(OnDrive("x")));
    EXPECT_EQ(TP_GrabPicture(m_player, nullptr), E_POINTER);
}

TEST_F(CaptureApi, LookupComesBeforeTheFileRules)
{
    EXPECT_EQ(TP_GrabPicture(77, "C:\\nohandle\\a.bmp"), TP_ERR_INVALID_HANDLE);
    EXPECT_EQ(TP_StartRecord(m_empty, "C:\\noplayer", "a.avi"), TP_ERR_NO_PLAYER);
    EXPECT_FALSE(Exists(OnDrive("nohandle")));
    EXPECT_FALSE(Exists(OnDrive("noplayer")));
}

TEST_F(CaptureApi, InputDataAndCallbackOnAStreamPlayer)
{
    const unsigned char bytes[] = {'>', '>', '>', '>', 0, 0, 0, 0};
    EXPECT_EQ(TP_InputData(m_player, bytes, sizeof bytes), 0);
    EXPECT_EQ(TP_InputData(m_empty, bytes, sizeof bytes), TP_ERR_NO_PLAYER);
    EXPECT_EQ(TP_InputData(77, bytes, sizeof bytes), TP_ERR_INVALID_HANDLE);
    // Kept until the stream is rendered.
    auto callback = [](void*, unsigned char*, int, int, int) {};
    EXPECT_EQ(TP_SetYUVFrameCallBack(m_player, callback, nullptr), 0);
    EXPECT_EQ(TP_SetYUVFrameCallBack(m_player, nullptr, nullptr), 0);
}

TEST_F(CaptureApi, OverlaysBeforeTheFirstMediaType)
{
    POINT a = {1, 1}, b = {5, 5};
    unsigned char font[60] = {}; // a LOGFONTA
    int count = 0, size = 0;
    unsigned char data[8] = {};
    struct Case {
        const char* name;
        std::function<int(int)> call;
    };
    const Case minusOne[] = {
        {"text", [&](int h) { return TP_AddTextOverlay(h, 1, 1, "x", 0xFF, font, 0, 0); }},
        {"time", [&](int h) { return TP_AddSysTimeOverlay(h, 1, 1, 0xFF, font, 0, 0); }},
        {"bitmap", [&](int h) { return TP_AddBitmapOverlay(h, 1, 1, 3, 0, 0, 0); }},
        {"rectangle", [&](int h) { return TP_AddRectangleOverlay(h, &a, &b, 0xFF, 0, 0); }},
        {"circle", [&](int h) { return TP_AddCircleOverlay(h, &a, 4, 0xFF, 0, 0); }},
        {"ellipse", [&](int h) { return TP_AddEllipseOverlay(h, &a, &b, 0xFF, 0, 0); }},
        {"polygon", [&](int h) { return TP_AddPolygonOverlay(h, &a, 1, 0xFF, 0, 0); }},
        {"flicker", [&](int h) { return TP_SetFlickerTime(h, 1000, 1); }},
        {"items", [&](int h) { return TP_GetItemsByIndex(h, 1000, data, &size, &count); }},
        {"file", [&](int h) { return TP_AddOverlaysFromFile(h, "C:\\o.bin", &count); }},
        {"bytes", [&](int h) { return TP_AddOverlaysFromByte(h, data, 8, &count); }},
    };
    for (const Case& c : minusOne) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.call(m_player), -1);
        EXPECT_EQ(TP_GetLastError(m_player), TP_ERR_NO_PROCESSOR_OVERLAY);
    }
    EXPECT_EQ(TP_RemoveOverlay(m_player, 1000), TP_ERR_NO_PROCESSOR_OVERLAY);
    EXPECT_EQ(TP_RemoveAllOverlay(m_player), TP_ERR_NO_PROCESSOR_OVERLAY);
}

} // namespace
