#include "CMotionPage.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "CIpAddressEdit.h"
#include "ConsoleLists.h"

using namespace tvprotocol;
namespace L = consolelists;

CMotionPage::CMotionPage(CConsoleWindow& console, QWidget* parent) : CCommandPage(console, parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(MotionGroup());
    layout->addWidget(StateGroup());
    layout->addWidget(CentreGroup());
    layout->addStretch(1);
}

QGroupBox* CMotionPage::MotionGroup()
{
    QGridLayout* grid = nullptr;
    QGroupBox* group = Group(QStringLiteral("移动侦测"), &grid);
    AddChannelHeader(grid, 0);
    // The motion enable sits under the occlusion caption the device's tools use.
    m_enable = ChannelCombos(grid, 1, QStringLiteral("视频遮挡使能"), L::Enables());
    m_linkage = AddLinkageRows(grid, 2);
    grid->addWidget(Button(QStringLiteral("获取移动侦测配置"),
                           [this] {
                               RunGet(GetMotionDetectionParameters,
                                      [this](const MotionDetectionParameters& r) {
                                          Show(m_enable, r.motionEnable);
                                          m_linkage.ShowFrom(r);
                                      });
                           }),
                    1, 5);
    grid->addWidget(Button(QStringLiteral("设置移动侦测配置"),
                           [this] {
                               MotionDetectionParameters r;
                               Read(m_enable, r.motionEnable);
                               m_linkage.ReadInto(r);
                               RunSet(kCmdSetMotionDetectionParameters,
                                      SetMotionDetectionParameters, r);
                           }),
                    2, 5);
    grid->addWidget(
        Button(QStringLiteral("恢复报警参数配置"),
               [this] { RunAction(kCmdRestoreAlarmParameters, RestoreAlarmParameters); }),
        3, 5);
    return group;
}

QGroupBox* CMotionPage::StateGroup()
{
    QGridLayout* grid = nullptr;
    QGroupBox* group = Group(QStringLiteral("报警状态"), &grid);
    AddChannelHeader(grid, 0);
    m_inputState = ChannelCombos(grid, 1, QStringLiteral("报警输入状态："), L::AlarmStates());
    m_lossState = ChannelCombos(grid, 2, QStringLiteral("视频丢失状态："), L::AlarmStates());
    m_occlusionState = ChannelCombos(grid, 3, QStringLiteral("视频遮挡:"), L::AlarmStates());
    m_motionState = ChannelCombos(grid, 4, QStringLiteral("移动侦测:"), L::AlarmStates());
    grid->addWidget(Button(QStringLiteral("发送报警输入状态"),
                           [this] {
                               AlarmInputState r;
                               Read(m_inputState, r.alarm);
                               RunSet(kCmdSendAlarmInputState, SendAlarmInputState, r);
                           }),
                    1, 5);
    grid->addWidget(Button(QStringLiteral("发送视频报警状态"),
                           [this] {
                               VideoAlarmState r;
                               Read(m_lossState, r.videoLoss);
                               Read(m_occlusionState, r.videoOcclusion);
                               RunSet(kCmdSendVideoAlarmState, SendVideoAlarmState, r);
                           }),
                    2, 5, 2, 1);
    grid->addWidget(Button(QStringLiteral("发送移动侦测报警"),
                           [this] {
                               MotionAlarmState r;
                               Read(m_motionState, r.motionAlarm);
                               RunSet(kCmdSendMotionDetectionAlarm, SendMotionDetectionAlarm, r);
                           }),
                    4, 5);
    return group;
}

QGroupBox* CMotionPage::CentreGroup()
{
    QGridLayout* grid = nullptr;
    QGroupBox* group = Group(QStringLiteral("报警中心"), &grid);
    m_centreAddress = AddressEdit("centreAddress");
    m_centrePort = NumberEdit("centrePort");
    AddField(grid, 0, 0, QStringLiteral("报警中心:"), m_centreAddress);
    AddField(grid, 0, 2, QStringLiteral("端口:"), m_centrePort);
    grid->addWidget(Button(QStringLiteral("设置报警中心参数"),
                           [this] {
                               AlarmCentre r;
                               r.address = m_centreAddress->Address();
                               r.port = Number(m_centrePort);
                               RunSet(kCmdSetAlarmCentre, SetAlarmCentre, r);
                           }),
                    0, 4);
    grid->addWidget(Button(QStringLiteral("获取报警中心参数"),
                           [this] {
                               RunGet(GetAlarmCentre, [this](const AlarmCentre& r) {
                                   m_centreAddress->SetAddress(r.address);
                                   SetNumber(m_centrePort, r.port);
                               });
                           }),
                    0, 5);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    return group;
}
