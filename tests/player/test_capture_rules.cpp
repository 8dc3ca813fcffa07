// The file rules of capture and recording: YUY2 pictures to bottom-up BGR
// rows, the BMP headers, and the names a recording is made under.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CGraphPlayerCapture.h"

namespace {

struct PairCase {
    const char* name;
    BYTE y0, u, y1, v;
    BYTE first[3];  // blue, green, red of the first pixel
    BYTE second[3]; // and of the second
};

class Yuy2Pair : public ::testing::TestWithParam<PairCase> {};

TEST_P(Yuy2Pair, ConvertsToTheBgrOfBothPixels)
{
    const PairCase& c = GetParam();
    const BYTE yuy2[4] = {c.y0, c.u, c.y1, c.v};
    BYTE bgr[6] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    Yuy2ToBottomUpBgr(yuy2, 2, 1, bgr);
    EXPECT_EQ(std::vector<BYTE>(bgr, bgr + 3), std::vector<BYTE>(c.first, c.first + 3));
    EXPECT_EQ(std::vector<BYTE>(bgr + 3, bgr + 6), std::vector<BYTE>(c.second, c.second + 3));
}

// Values worked out by hand from BT.601 studio range with rounding.
const PairCase kPairs[] = {
    {"TwoBlackPixels", 16, 128, 16, 128, {0, 0, 0}, {0, 0, 0}},
    {"WhiteAndBlack", 235, 128, 16, 128, {255, 255, 255}, {0, 0, 0}},
    {"BelowBlackClampsToZero", 0, 128, 5, 128, {0, 0, 0}, {0, 0, 0}},
    {"AboveWhiteClampsTo255", 255, 128, 240, 128, {255, 255, 255}, {255, 255, 255}},
    {"RedSharesItsChroma", 81, 90, 81, 240, {0, 0, 255}, {0, 0, 255}},
    {"BlueSharesItsChroma", 41, 240, 41, 110, {255, 0, 0}, {255, 0, 0}},
    {"MidGrey", 126, 128, 126, 128, {128, 128, 128}, {128, 128, 128}},
};

INSTANTIATE_TEST_SUITE_P(Capture, Yuy2Pair, ::testing::ValuesIn(kPairs),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CaptureRules, RowsAreWrittenBottomUpWithoutPadding)
{
    // 2 x 3: top row black, middle white, bottom black-and-white pairs' mix.
    const BYTE yuy2[] = {
        16,  128, 16,  128, // top: black, black
        235, 128, 235, 128, // middle: white, white
        16,  128, 235, 128, // bottom: black, white
    };
    BYTE bgr[2 * 3 * 3] = {};
    Yuy2ToBottomUpBgr(yuy2, 2, 3, bgr);
    const std::vector<BYTE> want = {
        0,   0,   0,   255, 255, 255, // bottom row first
        255, 255, 255, 255, 255, 255, // middle
        0,   0,   0,   0,   0,   0,   // top row last
    };
    EXPECT_EQ(std::vector<BYTE>(bgr, bgr + sizeof bgr), want);
}

TEST(CaptureRules, BmpHeadersOfAnUnpaddedPicture)
{
    BYTE headers[kBmpHeadersSize];
    BmpHeaders(2, 1, headers);
    const std::vector<BYTE> want = {
        'B', 'M', 60, 0, 0, 0, // file size 54 + 2 x 1 x 3
        0,   0,   0,  0,       // reserved
        54,  0,   0,  0,       // pixel offset
        40,  0,   0,  0,       // information header size
        2,   0,   0,  0,       // width
        1,   0,   0,  0,       // height (bottom-up)
        1,   0,                // planes
        24,  0,                // bits per pixel
        0,   0,   0,  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    };
    EXPECT_EQ(std::vector<BYTE>(headers, headers + kBmpHeadersSize), want);

    // 5 x 3 rows of 15 bytes stay 15 bytes: 54 + 45 = 99.
    BmpHeaders(5, 3, headers);
    EXPECT_EQ(headers[2], 99);
    EXPECT_EQ(headers[3], 0);
}

struct RecordNameCase {
    const char* name;
    const char* directory;
    const char* file;
    const char* joined;   // the file TP_StartRecord probes
    const char* recorded; // the file the network source records into
};

class RecordNames : public ::testing::TestWithParam<RecordNameCase> {};

TEST_P(RecordNames, JoinAndTvx)
{
    const RecordNameCase& c = GetParam();
    EXPECT_EQ(JoinRecordPath(c.directory, c.file), c.joined);
    EXPECT_EQ(RecordFilePath(c.directory, c.file), c.recorded);
}

const RecordNameCase kRecordNames[] = {
    {"Plain", "C:\\rec", "cam1.avi", "C:\\rec\\cam1.avi", "C:\\rec\\cam1.tvx"},
    {"DirectoryEndsWithSeparator", "C:\\rec\\", "cam1.avi", "C:\\rec\\cam1.avi",
     "C:\\rec\\cam1.tvx"},
    {"NameBeginsWithSeparator", "C:\\rec", "\\cam1.avi", "C:\\rec\\cam1.avi", "C:\\rec\\cam1.tvx"},
    {"BothBringOne", "C:\\rec\\", "\\cam1.avi", "C:\\rec\\cam1.avi", "C:\\rec\\cam1.tvx"},
    {"ForwardSlashes", "/tmp/rec/", "cam1.t264", "/tmp/rec/cam1.t264", "/tmp/rec/cam1.tvx"},
    {"LinuxFolderJoinedWithSlash", "/tmp/rec", "cam1.avi", "/tmp/rec/cam1.avi",
     "/tmp/rec/cam1.tvx"},
    {"MixedFolderKeepsBackslash", "C:/rec\\day", "cam1", "C:/rec\\day\\cam1",
     "C:/rec\\day\\cam1.tvx"},
    {"LastDotCounts", "C:\\rec", "cam.1.avi", "C:\\rec\\cam.1.avi", "C:\\rec\\cam.1.tvx"},
    {"AlreadyTvx", "C:\\rec", "cam1.tvx", "C:\\rec\\cam1.tvx", "C:\\rec\\cam1.tvx"},
    {"NoExtension", "C:\\rec", "cam1", "C:\\rec\\cam1", "C:\\rec\\cam1.tvx"},
    {"DotOnlyInTheFolder", "C:\\rec.d", "cam1", "C:\\rec.d\\cam1", "C:\\rec.d\\cam1.tvx"},
    {"TrailingDot", "C:\\rec", "cam1.", "C:\\rec\\cam1.", "C:\\rec\\cam1.tvx"},
};

INSTANTIATE_TEST_SUITE_P(Capture, RecordNames, ::testing::ValuesIn(kRecordNames),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CaptureRules, LongRecordPathKeepsItsExtensionWithin259Characters)
{
    const std::string dir = "C:\\" + std::string(250, 'd');
    const std::string path = RecordFilePath(dir.c_str(), "camera-one.avi");
    EXPECT_EQ(path.size(), kRecordPathMax);
    EXPECT_EQ(path, dir + "\\c.tvx");
}

} // namespace
