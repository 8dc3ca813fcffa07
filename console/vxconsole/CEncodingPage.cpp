#include "CEncodingPage.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "COsdGroup.h"
#include "ConsoleLists.h"

using namespace tvprotocol;

CEncodingPage::CEncodingPage(CConsoleWindow& console, QWidget* parent)
    : CCommandPage(console, parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(VideoGroup());
    layout->addWidget(EncoderGroup());
    layout->addWidget(new COsdGroup(
        console, {"获取OSD参数", "设置OSD参数", GetEncoderOsd, SetEncoderOsd, kCmdSetEncoderOsd},
        this));
    layout->addWidget(AudioGroup());
    layout->addStretch(1);
}

QGroupBox* CEncodingPage::VideoGroup()
{
    QGridLayout* grid = nullptr;
    QGroupBox* group = Group(QStringLiteral("视频参数"), &grid);
    static const char* const kLabels[] = {"亮度:", "对比度:", "色调:", "饱和度:", "锐度:"};
    static const char* const kNames[] = {"brightness", "contrast", "hue", "saturation",
                                         "sharpness"};
    for (size_t i = 0; i < m_picture.size(); ++i) {
        m_picture[i] = NumberEdit(kNames[i]);
        AddField(grid, 0, int(2 * i), QString::fromUtf8(kLabels[i]), m_picture[i]);
    }
    grid->addWidget(Button(QStringLiteral("获取视频参数"),
                           [this] {
                               RunGet(GetVideoParameters, [this](const VideoParameters& r) {
                                   const int32_t values[] = {r.brightness, r.contrast, r.hue,
                                                             r.saturation, r.sharpness};
                                   for (size_t i = 0; i < m_picture.size(); ++i)
                                       SetNumber(m_picture[i], values[i]);
                               });
                           }),
                    1, 6, 1, 2);
    grid->addWidget(Button(QStringLiteral("设置视频参数"),
                           [this] {
                               VideoParameters r;
                               r.brightness = Number(m_picture[0]);
                               r.contrast = Number(m_picture[1]);
                               r.hue = Number(m_picture[2]);
                               r.saturation = Number(m_picture[3]);
                               r.sharpness = Number(m_picture[4]);
                               RunSet(kCmdSetVideoParameters, SetVideoParameters, r);
                           }),
                    1, 8, 1, 2);
    return group;
}

QGroupBox* CEncodingPage::EncoderGroup()
{
    QGridLayout* grid = nullptr;
    QGroupBox* group = Group(QStringLiteral("编码参数"), &grid);
    m_videoInput = Combo(consolelists::VideoPorts(), "videoInput");
    m_resolution = Combo(consolelists::Resolutions(), "resolution");
    m_frameRate = NumberEdit("frameRate");
    m_bitRate = NumberEdit("bitRate");
    m_gop = NumberEdit("gop");
    m_gopM = NumberEdit("gopM");
    m_qp = NumberEdit("qp");
    m_rateControl = Combo(consolelists::RateControls(), "rateControl");
    AddField(grid, 0, 0, QStringLiteral("视频输入:"), m_videoInput);
    AddField(grid, 0, 2, QStringLiteral("分辨率:"), m_resolution);
    AddField(grid, 0, 4, QStringLiteral("CBRVBR:"), m_rateControl);
    AddField(grid, 1, 0, QStringLiteral("帧率:"), m_frameRate);
    AddField(grid, 1, 2, QStringLiteral("码率:"), m_bitRate);
    AddField(grid, 1, 4, QStringLiteral("QP:"), m_qp);
    AddField(grid, 2, 0, QStringLiteral("GOP:"), m_gop);
    AddField(grid, 2, 2, QStringLiteral("GOPM:"), m_gopM);
    grid->addWidget(Button(QStringLiteral("获取编码参数"),
                           [this] {
                               RunGet(GetEncoderParameters,
                                      [this](const EncoderParameters& r) { ShowEncoder(r); });
                           }),
                    0, 6);
    grid->addWidget(
        Button(QStringLiteral("设置编码参数"),
               [this] { RunSet(kCmdSetEncoderParameters, SetEncoderParameters, ReadEncoder()); }),
        1, 6);
    grid->addWidget(
        Button(QStringLiteral("恢复默认视频参数"),
               [this] { RunAction(kCmdRestoreEncoderDefaults, RestoreEncoderDefaults); }),
        2, 6);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    grid->setColumnStretch(5, 1);
    return group;
}

EncoderParameters CEncodingPage::ReadEncoder() const
{
    EncoderParameters r;
    r.videoInput = Index(m_videoInput);
    r.codec = kCodecH264; // the console sets H.264 whatever the device reported
    r.resolution = Index(m_resolution);
    r.frameRate = Number(m_frameRate);
    r.bitRate = Number(m_bitRate);
    r.gop = Number(m_gop);
    r.gopM = Number(m_gopM);
    r.rateControl = Index(m_rateControl);
    r.qp = Number(m_qp);
    return r;
}

void CEncodingPage::ShowEncoder(const EncoderParameters& r)
{
    Select(m_videoInput, r.videoInput);
    Select(m_resolution, r.resolution);
    SetNumber(m_frameRate, r.frameRate);
    SetNumber(m_bitRate, r.bitRate);
    SetNumber(m_gop, r.gop);
    SetNumber(m_gopM, r.gopM);
    Select(m_rateControl, r.rateControl);
    SetNumber(m_qp, r.qp);
}

QGroupBox* CEncodingPage::AudioGroup()
{
    QGridLayout* grid = nullptr;
    QGroupBox* group = Group(QStringLiteral("音频参数"), &grid);
    m_audioOn = Combo(consolelists::Switches(), "audioOn");
    m_audioSource = Combo(consolelists::AudioSources(), "audioSource");
    m_audioCodec = Combo(consolelists::AudioCodecs(), "audioCodec");
    m_sampleWidth = Combo(consolelists::SampleWidths(), "sampleWidth");
    m_sampleRate = Combo(consolelists::SampleRates(), "sampleRate");
    AddField(grid, 0, 0, QStringLiteral("音频开关:"), m_audioOn);
    AddField(grid, 0, 2, QStringLiteral("音频输入:"), m_audioSource);
    AddField(grid, 0, 4, QStringLiteral("编码方式:"), m_audioCodec);
    AddField(grid, 1, 0, QStringLiteral("音频位宽:"), m_sampleWidth);
    AddField(grid, 1, 2, QStringLiteral("采样频率:"), m_sampleRate);
    grid->addWidget(Button(QStringLiteral("获取音频参数"),
                           [this] {
                               RunGet(GetAudioEncodingParameters,
                                      [this](const AudioEncodingParameters& r) { ShowAudio(r); });
                           }),
                    0, 6);
    grid->addWidget(Button(QStringLiteral("设置音频参数"),
                           [this] {
                               RunSet(kCmdSetAudioEncodingParameters, SetAudioEncodingParameters,
                                      ReadAudio());
                           }),
                    1, 6);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    grid->setColumnStretch(5, 1);
    return group;
}

AudioEncodingParameters CEncodingPage::ReadAudio() const
{
    AudioEncodingParameters r;
    r.audioOn = Index(m_audioOn);
    r.audioSource = Index(m_audioSource);
    r.audioCodec = Index(m_audioCodec);
    r.sampleWidth = Index(m_sampleWidth, 1);
    r.sampleRate = Index(m_sampleRate, 1);
    return r;
}

void CEncodingPage::ShowAudio(const AudioEncodingParameters& r)
{
    // As the report reads them: any non-zero value is on, and HDMI.
    Select(m_audioOn, r.audioOn != 0);
    Select(m_audioSource, r.audioSource != 0);
    Select(m_audioCodec, r.audioCodec);
    Select(m_sampleWidth, r.sampleWidth - 1);
    Select(m_sampleRate, r.sampleRate - 1);
}
