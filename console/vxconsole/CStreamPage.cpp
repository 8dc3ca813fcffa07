#include "CStreamPage.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "CIpAddressEdit.h"
#include "ConsoleLists.h"

using namespace tvprotocol;
namespace L = consolelists;

namespace {

// "H264" in the stream pages' codec list.
constexpr int kStreamCodecH264 = 4;

} // namespace

CStreamPage::CStreamPage(CConsoleWindow& console, QWidget* parent) : CCommandPage(console, parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(SendingGroup());
    layout->addWidget(ReceivingGroup());
    layout->addWidget(PtzGroup());
    layout->addStretch(1);
}

QGroupBox* CStreamPage::SendingGroup()
{
    QGridLayout* grid = nullptr;
    QGroupBox* group = Group(QStringLiteral("码流发送"), &grid);
    m_sendCodec = Combo(L::StreamCodecs(), "sendCodec");
    m_sendCodec->setCurrentIndex(kStreamCodecH264);
    m_sendType = Combo(L::StreamTypes(), "sendType");
    m_sendTransport = Combo(L::Transports(), "sendTransport");
    m_sendAddress = AddressEdit("sendAddress");
    m_sendPort = NumberEdit("sendPort");
    AddField(grid, 0, 0, QStringLiteral("编码标准："), m_sendCodec);
    AddField(grid, 0, 2, QStringLiteral("码流类型："), m_sendType);
    AddField(grid, 1, 0, QStringLiteral("传输类型："), m_sendTransport);
    AddField(grid, 2, 0, QStringLiteral("IP："), m_sendAddress);
    AddField(grid, 2, 2, QStringLiteral("端口："), m_sendPort);
    grid->addWidget(
        Button(QStringLiteral("启动码流发送"),
               [this] { RunSet(kCmdStartStreamSending, StartStreamSending, ReadSending()); }),
        0, 4);
    grid->addWidget(
        Button(QStringLiteral("停止码流发送"),
               [this] { RunSet(kCmdStopStreamSending, StopStreamSending, ReadSending()); }),
        1, 4);
    grid->addWidget(Button(QStringLiteral("获取码流发送信息"),
                           [this] {
                               RunGet(GetStreamSendingInformation,
                                      [this](const StreamSendingInformation& r) {
                                          if (r.count < 1)
                                              return;
                                          const StreamSendingParameters& e = r.entries[0];
                                          Select(m_sendCodec, e.codec - 1);
                                          Select(m_sendType, e.streamType - 1);
                                          Select(m_sendTransport, e.transport - 1);
                                          m_sendAddress->SetAddress(e.peerAddress);
                                          SetNumber(m_sendPort, e.peerPort);
                                      });
                           }),
                    2, 4);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    return group;
}

StreamSendingParameters CStreamPage::ReadSending() const
{
    StreamSendingParameters r;
    r.codec = Index(m_sendCodec, 1);
    r.streamType = Index(m_sendType, 1);
    r.transport = Index(m_sendTransport, 1);
    r.peerAddress = m_sendAddress->Address();
    r.peerPort = Number(m_sendPort);
    return r;
}

QGroupBox* CStreamPage::ReceivingGroup()
{
    QGridLayout* grid = nullptr;
    QGroupBox* group = Group(QStringLiteral("码流接收"), &grid);
    m_recvCodec = Combo(L::StreamCodecs(), "recvCodec");
    m_recvCodec->setCurrentIndex(kStreamCodecH264);
    m_recvNumber = Combo(L::StreamNumbers(), "recvNumber");
    m_recvTransport = Combo(L::Transports(), "recvTransport");
    m_recvAddress = AddressEdit("recvAddress");
    m_recvPort = NumberEdit("recvPort");
    AddField(grid, 0, 0, QStringLiteral("编码标准："), m_recvCodec);
    AddField(grid, 0, 2, QStringLiteral("码流编号："), m_recvNumber);
    AddField(grid, 1, 0, QStringLiteral("传输类型："), m_recvTransport);
    AddField(grid, 2, 0, QStringLiteral("IP："), m_recvAddress);
    AddField(grid, 2, 2, QStringLiteral("端口："), m_recvPort);
    grid->addWidget(
        Button(QStringLiteral("启动码流接收"),
               [this] { RunSet(kCmdStartStreamReceiving, StartStreamReceiving, ReadReceiving()); }),
        0, 4);
    grid->addWidget(
        Button(QStringLiteral("停止码流接收"),
               [this] { RunSet(kCmdStopStreamReceiving, StopStreamReceiving, ReadReceiving()); }),
        1, 4);
    grid->addWidget(Button(QStringLiteral("获取码流接收信息"),
                           [this] {
                               RunGet(GetStreamReceivingInformation,
                                      [this](const StreamReceivingInformation& r) {
                                          m_recvAddress->SetAddress(r.mainStream.address);
                                          SetNumber(m_recvPort, r.mainStream.port);
                                      });
                           }),
                    2, 4);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    return group;
}

StreamReceivingParameters CStreamPage::ReadReceiving() const
{
    StreamReceivingParameters r;
    r.codec = Index(m_recvCodec, 1);
    r.streamNumber = Index(m_recvNumber, 1);
    r.transport = Index(m_recvTransport, 1);
    r.peerAddress = m_recvAddress->Address();
    r.peerPort = Number(m_recvPort);
    return r;
}

QGroupBox* CStreamPage::PtzGroup()
{
    QGridLayout* grid = nullptr;
    QGroupBox* group = Group(QStringLiteral("云台控制"), &grid);
    m_ptzCommand = Combo(L::PtzCommands(), "ptzCommand");
    m_ptzPreset = NumberEdit("ptzPreset");
    m_ptzSpeed = Combo(L::PtzSpeeds(), "ptzSpeed");
    AddField(grid, 0, 0, QStringLiteral("命令："), m_ptzCommand);
    AddField(grid, 0, 2, QStringLiteral("预置位："), m_ptzPreset);
    AddField(grid, 0, 4, QStringLiteral("速度："), m_ptzSpeed);
    grid->addWidget(Button(QStringLiteral("云台控制"),
                           [this] {
                               PtzParameters r;
                               r.command = Index(m_ptzCommand, 1);
                               r.preset = Number(m_ptzPreset);
                               r.speed = Index(m_ptzSpeed, 1);
                               RunSet(kCmdPtzControl, PtzControl, r);
                           }),
                    0, 6);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    grid->setColumnStretch(5, 1);
    return group;
}
