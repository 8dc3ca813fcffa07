#include "CDecodingPage.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "CIpAddressEdit.h"
#include "COsdGroup.h"
#include "ConsoleLists.h"

using namespace tvprotocol;

CDecodingPage::CDecodingPage(CConsoleWindow& console, QWidget* parent)
    : CCommandPage(console, parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(DecoderGroup());
    layout->addWidget(new COsdGroup(
        console,
        {"获取解码OSD参数", "设置解码OSD参数", GetDecoderOsd, SetDecoderOsd, kCmdSetDecoderOsd},
        this));
    layout->addWidget(IntercomGroup());
    layout->addStretch(1);
}

QGroupBox* CDecodingPage::DecoderGroup()
{
    QGridLayout* grid = nullptr;
    QGroupBox* group = Group(QStringLiteral("解码参数"), &grid);
    m_videoOutput = Combo(consolelists::VideoPorts(), "videoOutput");
    m_resolution = Combo(consolelists::Resolutions(), "decoderResolution");
    m_audioOn = Combo(consolelists::Switches(), "decoderAudioOn");
    m_audioOutput = Combo(consolelists::AudioSources(), "audioOutput");
    AddField(grid, 0, 0, QStringLiteral("视频输出:"), m_videoOutput);
    AddField(grid, 0, 2, QStringLiteral("分辨率:"), m_resolution);
    AddField(grid, 1, 0, QStringLiteral("音频开关:"), m_audioOn);
    AddField(grid, 1, 2, QStringLiteral("音频输出:"), m_audioOutput);
    grid->addWidget(Button(QStringLiteral("获取解码参数"),
                           [this] {
                               RunGet(GetDecoderParameters, [this](const DecoderParameters& r) {
                                   Select(m_videoOutput, r.videoOutput);
                                   Select(m_resolution, r.resolution);
                                   Select(m_audioOn, r.audioOn != 0);
                                   Select(m_audioOutput, r.audioOutput != 0);
                               });
                           }),
                    0, 4);
    grid->addWidget(Button(QStringLiteral("设置解码参数"),
                           [this] {
                               DecoderParameters r;
                               r.videoOutput = Index(m_videoOutput);
                               r.codec = kCodecH264; // always H.264, as for the encoder
                               r.resolution = Index(m_resolution);
                               r.audioOn = Index(m_audioOn);
                               r.audioOutput = Index(m_audioOutput);
                               RunSet(kCmdSetDecoderParameters, SetDecoderParameters, r);
                           }),
                    1, 4);
    grid->addWidget(
        Button(QStringLiteral("恢复解码参数"),
               [this] { RunAction(kCmdRestoreDecoderParameters, RestoreDecoderParameters); }),
        2, 4);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    return group;
}

QGroupBox* CDecodingPage::IntercomGroup()
{
    QGridLayout* grid = nullptr;
    QGroupBox* group = Group(QStringLiteral("音频对讲"), &grid);
    m_intercomOn = Combo(consolelists::Switches(), "intercomOn");
    m_intercomCodec = Combo(consolelists::AudioCodecs(), "intercomCodec");
    m_calledAddress = AddressEdit("calledAddress");
    m_calledPort = NumberEdit("calledPort");
    AddField(grid, 0, 0, QStringLiteral("音频开关:"), m_intercomOn);
    AddField(grid, 0, 2, QStringLiteral("编码方式:"), m_intercomCodec);
    AddField(grid, 1, 0, QStringLiteral("IP:"), m_calledAddress);
    AddField(grid, 1, 2, QStringLiteral("端口:"), m_calledPort);
    grid->addWidget(Button(QStringLiteral("获取音频对讲参数"),
                           [this] {
                               RunGet(GetAudioIntercomParameters,
                                      [this](const AudioIntercomParameters& r) {
                                          Select(m_intercomOn, r.intercomOn != 0);
                                          Select(m_intercomCodec, r.audioCodec);
                                          m_calledAddress->SetAddress(r.calledAddress);
                                          SetNumber(m_calledPort, r.port);
                                      });
                           }),
                    0, 4);
    grid->addWidget(Button(QStringLiteral("设置音频对讲参数"),
                           [this] {
                               AudioIntercomParameters r;
                               r.intercomOn = Index(m_intercomOn);
                               r.audioCodec = Index(m_intercomCodec);
                               r.calledAddress = m_calledAddress->Address();
                               r.port = Number(m_calledPort);
                               RunSet(kCmdSetAudioIntercomParameters, SetAudioIntercomParameters,
                                      r);
                           }),
                    1, 4);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    return group;
}
