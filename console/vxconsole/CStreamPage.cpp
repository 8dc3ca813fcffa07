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

CStreamPage::StreamFields CStreamPage::AddStreamFields(QGridLayout* grid, const QString& kindLabel,
                                                       const QStringList& kinds,
                                                       const QString& prefix)
{
    const auto name = [&](const char* field) { return (prefix + QLatin1String(field)).toUtf8(); };
    StreamFields f;
    f.codec = Combo(L::StreamCodecs(), name("Codec").constData());
    f.codec->setCurrentIndex(kStreamCodecH264);
    f.kind = Combo(kinds, name("Kind").constData());
    f.transport = Combo(L::Transports(), name("Transport").constData());
    f.address = AddressEdit(name("Address").constData());
    f.port = NumberEdit(name("Port").constData());
    AddField(grid, 0, 0, QStringLiteral("编码标准："), f.codec);
    AddField(grid, 0, 2, kindLabel, f.kind);
    AddField(grid, 1, 0, QStringLiteral("传输类型："), f.transport);
    AddField(grid, 2, 0, QStringLiteral("IP："), f.address);
    AddField(grid, 2, 2, QStringLiteral("端口："), f.port);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    return f;
}

template <class Record> Record CStreamPage::ReadStream(const StreamFields& f, int32_t Record::*kind)
{
    Record r;
    r.codec = Index(f.codec, 1);
    r.*kind = Index(f.kind, 1);
    r.transport = Index(f.transport, 1);
    r.peerAddress = f.address->Address();
    r.peerPort = Number(f.port);
    return r;
}

QGroupBox* CStreamPage::SendingGroup()
{
    QGridLayout* grid = nullptr;
    QGroupBox* group = Group(QStringLiteral("码流发送"), &grid);
    m_send = AddStreamFields(grid, QStringLiteral("码流类型："), L::StreamTypes(),
                             QStringLiteral("send"));
    const auto read = [this] { return ReadStream(m_send, &StreamSendingParameters::streamType); };
    grid->addWidget(
        Button(QStringLiteral("启动码流发送"),
               [this, read] { RunSet(kCmdStartStreamSending, StartStreamSending, read()); }),
        0, 4);
    grid->addWidget(
        Button(QStringLiteral("停止码流发送"),
               [this, read] { RunSet(kCmdStopStreamSending, StopStreamSending, read()); }),
        1, 4);
    grid->addWidget(Button(QStringLiteral("获取码流发送信息"),
                           [this] {
                               RunGet(GetStreamSendingInformation,
                                      [this](const StreamSendingInformation& r) {
                                          if (r.count < 1)
                                              return;
                                          const StreamSendingParameters& e = r.entries[0];
                                          Select(m_send.codec, e.codec - 1);
                                          Select(m_send.kind, e.streamType - 1);
                                          Select(m_send.transport, e.transport - 1);
                                          m_send.address->SetAddress(e.peerAddress);
                                          SetNumber(m_send.port, e.peerPort);
                                      });
                           }),
                    2, 4);
    return group;
}

QGroupBox* CStreamPage::ReceivingGroup()
{
    QGridLayout* grid = nullptr;
    QGroupBox* group = Group(QStringLiteral("码流接收"), &grid);
    m_recv = AddStreamFields(grid, QStringLiteral("码流编号："), L::StreamNumbers(),
                             QStringLiteral("recv"));
    const auto read = [this] {
        return ReadStream(m_recv, &StreamReceivingParameters::streamNumber);
    };
    grid->addWidget(
        Button(QStringLiteral("启动码流接收"),
               [this, read] { RunSet(kCmdStartStreamReceiving, StartStreamReceiving, read()); }),
        0, 4);
    grid->addWidget(
        Button(QStringLiteral("停止码流接收"),
               [this, read] { RunSet(kCmdStopStreamReceiving, StopStreamReceiving, read()); }),
        1, 4);
    grid->addWidget(Button(QStringLiteral("获取码流接收信息"),
                           [this] {
                               RunGet(GetStreamReceivingInformation,
                                      [this](const StreamReceivingInformation& r) {
                                          m_recv.address->SetAddress(r.mainStream.address);
                                          SetNumber(m_recv.port, r.mainStream.port);
                                      });
                           }),
                    2, 4);
    return group;
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
