#include "win32/msgbox.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string boxOutput(LPCSTR text, LPCSTR caption, UINT type = MB_OK, int* result = nullptr)
{
    testing::internal::CaptureStderr();
    int answer = MessageBoxA(nullptr, text, caption, type);
    if (result)
        *result = answer;
    return testing::internal::GetCapturedStderr();
}

} // namespace

TEST(MessageBoxDefault, WritesCaptionAndTextAsOneLineAndAnswersOk)
{
    int result = 0;
    EXPECT_EQ(boxOutput("添加Filter失败", "Render", MB_OK, &result), "Render: 添加Filter失败\n");
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(boxOutput("x", "警告", MB_OK | MB_ICONWARNING, &result), "警告: x\n");
    EXPECT_EQ(result, IDOK);
    // A null caption is titled as Windows titles it; a null text is empty.
    EXPECT_EQ(boxOutput("fail to create thread.", nullptr), "Error: fail to create thread.\n");
    EXPECT_EQ(boxOutput(nullptr, "TarvoSplt"), "TarvoSplt: \n");
    EXPECT_EQ(boxOutput(nullptr, nullptr), "Error: \n");
    // Line breaks never split the line.
    EXPECT_EQ(boxOutput("Error! the Code is:-2147467259\n", "TarvoPlayerOCX"),
              "TarvoPlayerOCX: Error! the Code is:-2147467259\n");
    EXPECT_EQ(boxOutput("first\r\nsecond", "two\nlines"), "two lines: first  second\n");
}

TEST(MessageBoxDefault, AnswersWithTheDefaultButton)
{
    struct Case {
        UINT type;
        int expected;
    } cases[] = {
        {MB_OKCANCEL, IDOK},
        {MB_OKCANCEL | MB_DEFBUTTON2, IDCANCEL},
        {MB_YESNO | MB_ICONQUESTION, IDYES},
        {MB_YESNO | MB_DEFBUTTON2, IDNO},
        {MB_YESNOCANCEL | MB_DEFBUTTON3, IDCANCEL},
        {MB_RETRYCANCEL, IDRETRY},
        {MB_ABORTRETRYIGNORE | MB_DEFBUTTON2, IDRETRY},
        {MB_ICONERROR, IDOK},
    };
    for (const auto& c : cases) {
        int result = 0;
        boxOutput("t", "c", c.type, &result);
        EXPECT_EQ(result, c.expected) << std::hex << c.type;
    }
}

TEST(MessageBoxDefault, LinesFromManyThreadsDoNotInterleave)
{
    testing::internal::CaptureStderr();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            std::string caption = "thread" + std::to_string(t);
            std::string text(200, char('a' + t));
            for (int i = 0; i < 50; ++i)
                MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK);
        });
    }
    for (auto& t : threads)
        t.join();
    std::istringstream lines(testing::internal::GetCapturedStderr());
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        ++count;
        ASSERT_EQ(line.size(), std::string("threadN: ").size() + 200) << line;
        int t = line[6] - '0';
        ASSERT_GE(t, 0);
        ASSERT_LT(t, 4);
        EXPECT_EQ(line, "thread" + std::to_string(t) + ": " + std::string(200, char('a' + t)));
    }
    EXPECT_EQ(count, 200);
}

TEST(MessageBoxHandler, ReplacedHandlerGetsEverythingAndDefaultComesBack)
{
    struct Seen {
        HWND owner = nullptr;
        std::string text;
        std::string caption;
        bool nullCaption = false;
        UINT type = 0;
        int calls = 0;
    } seen;
    auto handler = [](HWND owner, LPCSTR text, LPCSTR caption, UINT type, void* user) -> int {
        auto* s = static_cast<Seen*>(user);
        s->owner = owner;
        s->text = text ? text : "";
        s->nullCaption = caption == nullptr;
        s->caption = caption ? caption : "";
        s->type = type;
        ++s->calls;
        return IDNO;
    };
    TvSetMessageBoxHandler(handler, &seen);
    HWND owner = reinterpret_cast<HWND>(uintptr_t(0x1234));
    testing::internal::CaptureStderr();
    int result = MessageBoxA(owner, "音频解码初始化失败", "TarvoSplt", MB_YESNO | MB_ICONERROR);
    Seen first = seen;
    int second = MessageBox(nullptr, "no caption", nullptr, MB_OK);
    std::string output = testing::internal::GetCapturedStderr();
    TvSetMessageBoxHandler(nullptr, nullptr);

    EXPECT_EQ(result, IDNO);
    EXPECT_EQ(second, IDNO);
    EXPECT_EQ(seen.calls, 2);
    EXPECT_EQ(output, "");
    EXPECT_EQ(first.owner, owner);
    EXPECT_EQ(first.text, "音频解码初始化失败");
    EXPECT_EQ(first.caption, "TarvoSplt");
    EXPECT_FALSE(first.nullCaption);
    EXPECT_EQ(first.type, MB_YESNO | MB_ICONERROR);
    EXPECT_EQ(seen.owner, nullptr);
    EXPECT_EQ(seen.text, "no caption");
    EXPECT_TRUE(seen.nullCaption); // passed as given, not replaced

    // Restored: the default writes and answers again, the old handler sees nothing.
    int restored = 0;
    EXPECT_EQ(boxOutput("back", "Default", MB_OK, &restored), "Default: back\n");
    EXPECT_EQ(restored, IDOK);
    EXPECT_EQ(seen.calls, 2);
}
