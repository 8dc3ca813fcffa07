// The TP_ frame: player table, handle numbering, the shared last error, the handle
// lookup of every function and the command dispatch, through the shared library.
//
// The registry is an empty temporary file, so no filter graph manager is
// registered: stream players are created without a graph, as after any
// construction failure.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include <windows.h>

#include "TarvoPlayLib.h"

namespace {

std::atomic<int> g_messageBoxes{0};

int CountMessageBox(HWND, LPCSTR, LPCSTR, UINT, void*)
{
    ++g_messageBoxes;
    return IDOK;
}

class PlayerApi : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        char dir[] = "/tmp/tvplayer_api_XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        s_registry = std::string(dir) + "/registry.reg";
        FILE* f = fopen(s_registry.c_str(), "w");
        ASSERT_NE(f, nullptr);
        fclose(f);
        TvSetRegistryPath(s_registry.c_str());
        TvSetMessageBoxHandler(CountMessageBox, nullptr);
    }

    static void TearDownTestSuite()
    {
        TvSetMessageBoxHandler(nullptr, nullptr);
        TvSetRegistryPath(nullptr);
        std::remove(s_registry.c_str());
    }

    void SetUp() override
    {
        TP_Exit();
        m_window = TvCreateVirtualWindow(320, 240);
        ASSERT_NE(m_window, nullptr);
        g_messageBoxes = 0;
    }

    void TearDown() override
    {
        TP_Exit();
        DestroyWindow(m_window);
    }

    // A live stream player (without graph here) and an entry without player.
    int NewStreamPlayer() { return TP_Initialize(m_window, 1, 3, 0, 0); }
    int NewEmptyEntry() { return TP_Initialize(m_window, 1, 3, 2, 0); }

    HWND m_window = nullptr;
    static std::string s_registry;
};

std::string PlayerApi::s_registry;

TEST_F(PlayerApi, UnsupportedDeviceTypesFailAndReportThroughAnotherHandle)
{
    int player = NewStreamPlayer();
    int empty = NewEmptyEntry();
    ASSERT_EQ(player, 0);
    ASSERT_EQ(empty, 1);

    for (int deviceType : {6, 8, 0, 15, -1, 512}) {
        SCOPED_TRACE(deviceType);
        EXPECT_EQ(TP_Initialize(m_window, deviceType, 3, 0, 0), -1);
        EXPECT_EQ(TP_GetLastError(player), TP_ERR_UNSUPPORTED);
        // Only a handle that holds a player shows the last error.
        EXPECT_EQ(TP_GetLastError(empty), TP_ERR_NO_PLAYER);
        EXPECT_EQ(TP_GetLastError(77), TP_ERR_INVALID_HANDLE);
    }
    // Refused calls take no handle number.
    EXPECT_EQ(NewEmptyEntry(), 2);

    // Every other type from 1 to 14 is accepted.
    for (int deviceType = 1; deviceType <= 14; ++deviceType) {
        if (deviceType == 6 || deviceType == 8)
            continue;
        EXPECT_GE(TP_Initialize(m_window, deviceType, 3, 2, 0), 0) << deviceType;
    }
}

TEST_F(PlayerApi, EntryWithoutPlayerAnswersNoPlayerUntilAFileOpens)
{
    int empty = NewEmptyEntry();
    int player = NewStreamPlayer();
    ASSERT_GE(empty, 0);

    EXPECT_EQ(TP_PlayControl(empty, TP_PLAY_PLAY, 0, nullptr), TP_ERR_NO_PLAYER);
    // The lookup comes before the command check.
    EXPECT_EQ(TP_PlayControl(empty, 4, 0, nullptr), TP_ERR_NO_PLAYER);
    EXPECT_EQ(TP_VideoCutControl(empty, 0, 0, nullptr), TP_ERR_NO_PLAYER);
    EXPECT_EQ(TP_SetLoginHandle(empty, 5), TP_ERR_NO_PLAYER);
    EXPECT_EQ(TP_GetVersions(empty, nullptr, nullptr), TP_ERR_NO_PLAYER);
    EXPECT_EQ(TP_RemoveAllOverlay(empty), TP_ERR_NO_PLAYER);
    EXPECT_EQ(TP_StopRecord(empty), TP_ERR_NO_PLAYER);

    // The -1 functions store the same reason.
    POINT a = {1, 1}, b = {5, 5};
    EXPECT_EQ(TP_AddRectangleOverlay(empty, &a, &b, 0xFF, 0, 0), -1);
    EXPECT_EQ(TP_GetLastError(player), TP_ERR_NO_PLAYER);
    EXPECT_EQ(TP_DownloadByTime(77, 0, 0, 1, "x"), -1);
    EXPECT_EQ(TP_GetLastError(player), TP_ERR_INVALID_HANDLE);
    EXPECT_EQ(TP_SetFlickerTime(empty, 1000, 0x01000100), -1);
    EXPECT_EQ(TP_GetLastError(player), TP_ERR_NO_PLAYER);

    // A file that cannot be played leaves the entry without player.
    EXPECT_EQ(TP_OpenLocalFile(empty, "/nonexistent/record.tvx"), E_FAIL);
    EXPECT_EQ(TP_PlayControl(empty, TP_PLAY_PLAY, 0, nullptr), TP_ERR_NO_PLAYER);
    EXPECT_EQ(TP_OpenLocalFile(99, "/nonexistent/record.tvx"), TP_ERR_INVALID_HANDLE);
}

TEST_F(PlayerApi, OpenLocalFileReplacesAStreamPlayer)
{
    int player = NewStreamPlayer();
    ASSERT_GE(player, 0);
    EXPECT_EQ(TP_SetLoginHandle(player, 1), E_NOTIMPL);
    EXPECT_EQ(TP_OpenLocalFile(player, "/nonexistent/record.tvx"), E_FAIL);
    // The stream player is gone and no file player took its place.
    EXPECT_EQ(TP_SetLoginHandle(player, 1), TP_ERR_NO_PLAYER);
}

TEST_F(PlayerApi, HandlesCountUpAndRestartAfterInitOrExit)
{
    EXPECT_EQ(NewEmptyEntry(), 0);
    EXPECT_EQ(NewStreamPlayer(), 1);
    EXPECT_EQ(NewEmptyEntry(), 2);
    EXPECT_EQ(TP_Uninitialize(1), 0);
    EXPECT_EQ(TP_GetLastError(1), TP_ERR_INVALID_HANDLE);
    // Never reused before a reset.
    EXPECT_EQ(NewEmptyEntry(), 3);

    EXPECT_EQ(TP_Init(), 0);
    EXPECT_EQ(TP_GetLastError(0), TP_ERR_INVALID_HANDLE);
    EXPECT_EQ(TP_GetLastError(3), TP_ERR_INVALID_HANDLE);
    EXPECT_EQ(NewStreamPlayer(), 0);
    EXPECT_EQ(NewEmptyEntry(), 1);

    EXPECT_EQ(TP_Exit(), 0);
    EXPECT_EQ(TP_GetLastError(0), TP_ERR_INVALID_HANDLE);
    EXPECT_EQ(NewEmptyEntry(), 0);
}

TEST_F(PlayerApi, UninitializeOfUnknownHandleChangesNothing)
{
    int player = NewStreamPlayer();
    int empty = NewEmptyEntry();
    EXPECT_EQ(TP_Uninitialize(55), 0);
    EXPECT_EQ(TP_Uninitialize(-1), 0);
    EXPECT_EQ(TP_SetLoginHandle(player, 0), E_NOTIMPL);
    EXPECT_EQ(TP_SetLoginHandle(empty, 0), TP_ERR_NO_PLAYER);
    EXPECT_EQ(NewEmptyEntry(), 2);
    // Removing twice is as harmless as removing an unknown handle.
    EXPECT_EQ(TP_Uninitialize(player), 0);
    EXPECT_EQ(TP_Uninitialize(player), 0);
    EXPECT_EQ(TP_SetLoginHandle(player, 0), TP_ERR_INVALID_HANDLE);
}

TEST_F(PlayerApi, LastErrorIsSharedAndNeverCleared)
{
    int first = NewStreamPlayer();
    int second = NewStreamPlayer();
    ASSERT_EQ(second, 1);

    EXPECT_EQ(TP_DownloadByTime(first, 1, 0, 10, "/tmp/x"), -1);
    EXPECT_EQ(TP_GetLastError(first), E_NOTIMPL);
    EXPECT_EQ(TP_GetLastError(second), E_NOTIMPL);

    EXPECT_EQ(TP_Initialize(m_window, 8, 3, 0, 0), -1);
    EXPECT_EQ(TP_GetLastError(first), TP_ERR_UNSUPPORTED);
    EXPECT_EQ(TP_GetLastError(second), TP_ERR_UNSUPPORTED);

    // Successful calls and direct results leave it alone.
    EXPECT_GE(NewEmptyEntry(), 0);
    EXPECT_EQ(TP_SetLoginHandle(second, 3), E_NOTIMPL);
    EXPECT_EQ(TP_GetLastError(second), TP_ERR_UNSUPPORTED);
}

TEST_F(PlayerApi, OperationsNoPlayerOffersAnswerNotImplemented)
{
    int player = NewStreamPlayer();
    char text[64] = "";
    int length = sizeof text;
    int position = 123;
    EXPECT_EQ(TP_SetLoginHandle(player, 9), E_NOTIMPL);
    EXPECT_EQ(TP_GetVersions(player, text, &length), E_NOTIMPL);
    EXPECT_EQ(length, static_cast<int>(sizeof text));
    EXPECT_EQ(TP_OpenPeriod(player, 1, 100, 200), E_NOTIMPL);
    EXPECT_EQ(TP_OpenRemoteFile(player, "remote.tvx"), E_NOTIMPL);
    EXPECT_EQ(TP_GetDownloadPosition(player, 1, &position), E_NOTIMPL);
    EXPECT_EQ(position, 123);
    EXPECT_EQ(TP_StopDownload(player, 1), E_NOTIMPL);
    EXPECT_EQ(TP_DownloadByTime(player, 1, 100, 200, "/tmp/download.tvx"), -1);
    EXPECT_EQ(TP_GetLastError(player), E_NOTIMPL);
}

TEST_F(PlayerApi, PlayControlDispatch)
{
    int player = NewStreamPlayer();
    for (int command : {4, 21, -1, 1000}) {
        int out = 7;
        EXPECT_EQ(TP_PlayControl(player, command, 0, &out), TP_ERR_UNSUPPORTED) << command;
        EXPECT_EQ(out, 7);
    }
    // Position and percent have no meaning for a stream: the percent still reads 0.
    int percent = 55;
    EXPECT_EQ(TP_PlayControl(player, TP_PLAY_GET_PLAYED_PERCENT, 0, &percent), E_NOTIMPL);
    EXPECT_EQ(percent, 0);
    EXPECT_EQ(TP_PlayControl(player, TP_PLAY_SET_PLAYED_PERCENT, 50, nullptr), E_NOTIMPL);
    // Commands only device and VOD players answer.
    int value = 0;
    int range[2] = {1, 2};
    EXPECT_EQ(TP_PlayControl(player, TP_PLAY_GET_TOTAL_FRAMES, 0, &value), E_NOTIMPL);
    EXPECT_EQ(TP_PlayControl(player, TP_PLAY_GET_PLAY_VALUE2, 0, &value), E_NOTIMPL);
    EXPECT_EQ(TP_PlayControl(player, TP_PLAY_SET_PLAY_VALUE, 3, nullptr), E_NOTIMPL);
    EXPECT_EQ(TP_PlayControl(player, TP_PLAY_GET_VOD_RANGE, 0, range), E_NOTIMPL);
    EXPECT_EQ(
        TP_PlayControl(player, TP_PLAY_SET_VOD_RANGE, reinterpret_cast<intptr_t>(range), nullptr),
        E_NOTIMPL);
    // Commands whose value is behind a pointer refuse a null one instead of crashing.
    EXPECT_EQ(TP_PlayControl(player, TP_PLAY_SET_RATE, 0, nullptr), E_POINTER);
    EXPECT_EQ(TP_PlayControl(player, TP_PLAY_SET_VOD_RANGE, 0, nullptr), E_POINTER);
}

TEST_F(PlayerApi, VideoCutControlDispatch)
{
    int player = NewStreamPlayer();
    for (int command : {3, -1, 99})
        EXPECT_EQ(TP_VideoCutControl(player, command, 0, nullptr), TP_ERR_UNSUPPORTED) << command;
    EXPECT_EQ(TP_VideoCutControl(player, TP_CUT_SET, 0, nullptr), E_POINTER);
    EXPECT_EQ(TP_VideoCutControl(player, TP_CUT_GET, 0, nullptr), E_POINTER);
    EXPECT_EQ(TP_VideoCutControl(player, TP_CUT_VIDEO_SIZE, 0, nullptr), E_POINTER);
    EXPECT_EQ(TP_VideoCutControl(77, 3, 0, nullptr), TP_ERR_INVALID_HANDLE);
}

TEST_F(PlayerApi, StreamPlayerWithoutGraphShowsNoMessage)
{
    // No filter graph manager: the player is created without a graph, quietly.
    int player = NewStreamPlayer();
    EXPECT_GE(player, 0);
    EXPECT_EQ(TP_Uninitialize(player), 0);
    EXPECT_EQ(g_messageBoxes.load(), 0);
}

// Without a graph to hand out, the out-pointer is emptied and the reason
// returned; a null out-pointer is refused first.
TEST_F(PlayerApi, GetFilterGraphWithoutAGraph)
{
    const int player = NewStreamPlayer(); // no filter graph manager registered here
    const int empty = NewEmptyEntry();
    ASSERT_GE(player, 0);
    ASSERT_GE(empty, 0);
    const struct {
        int handle;
        int expected;
    } cases[] = {{player, TP_ERR_INVALID_HANDLE},
                 {empty, TP_ERR_NO_PLAYER},
                 {77, TP_ERR_INVALID_HANDLE},
                 {-1, TP_ERR_INVALID_HANDLE}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.handle);
        IFilterGraph* graph = reinterpret_cast<IFilterGraph*>(uintptr_t(0x10));
        EXPECT_EQ(TP_GetFilterGraph(c.handle, &graph), c.expected);
        EXPECT_EQ(graph, nullptr);
        EXPECT_EQ(TP_GetFilterGraph(c.handle, nullptr), E_POINTER);
    }
}

TEST_F(PlayerApi, LoginInitialisesComAndReturnsZero)
{
    EXPECT_EQ(TP_Login(), 0);
    EXPECT_EQ(TP_Logout(), 0);
    // Not a player: the table is untouched.
    EXPECT_EQ(NewEmptyEntry(), 0);
}

struct Received {
    std::atomic<int> count{0};
    std::atomic<unsigned> message{0};
    std::atomic<uintptr_t> wParam{0};
};

intptr_t RecordMessage(HWND, unsigned int msg, uintptr_t wParam, intptr_t, void* user)
{
    auto* received = static_cast<Received*>(user);
    received->message = msg;
    received->wParam = wParam;
    ++received->count;
    return 0;
}

TEST_F(PlayerApi, MessageCallbackReceivesTheWindowsMessages)
{
    Received received;
    ASSERT_EQ(TP_SetMessageCallback(m_window, RecordMessage, &received), 0);
    ASSERT_TRUE(PostMessageA(m_window, WM_USER + 1, static_cast<WPARAM>(0x80004005u), 0));
    for (int i = 0; i < 500 && received.count.load() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(received.count.load(), 1);
    EXPECT_EQ(received.message.load(), static_cast<unsigned>(WM_USER + 1));
    EXPECT_EQ(received.wParam.load(), 0x80004005u);
    EXPECT_EQ(TP_SetMessageCallback(m_window, nullptr, nullptr), 0);

    HWND gone = TvCreateVirtualWindow(10, 10);
    DestroyWindow(gone);
    EXPECT_EQ(TP_SetMessageCallback(gone, RecordMessage, &received), E_INVALIDARG);
}

} // namespace
