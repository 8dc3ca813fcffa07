#include "CAlarmPage.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "ConsoleLists.h"

using namespace tvprotocol;
namespace L = consolelists;

CAlarmPage::CAlarmPage(CConsoleWindow& console, QWidget* parent) : CCommandPage(console, parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(InputGroup());
    layout->addWidget(OutputGroup());
    layout->addWidget(VideoAlarmGroup());
    layout->addStretch(1);
}

QGroupBox* CAlarmPage::InputGroup()
{
    QGridLayout* grid = nullptr;
    QGroupBox* group = Group(QStringLiteral("报警输入"), &grid);
    AddChannelHeader(grid, 0);
    m_inContact = ChannelCombos(grid, 1, QStringLiteral("报警输入属性"), L::ContactAttributes());
    m_inLinked = ChannelCombos(grid, 2, QStringLiteral("关联报警输出"), L::Linked());
    m_inPtzAddress = ChannelEdits(grid, 3, QStringLiteral("云台地址"));
    m_inPrompt = ChannelCombos(grid, 4, QStringLiteral("屏幕提示"), L::Needed());
    m_inUpload = ChannelCombos(grid, 5, QStringLiteral("网络上传"), L::Uploads());
    grid->addWidget(Button(QStringLiteral("获取报警输入参数"),
                           [this] {
                               RunGet(GetAlarmInputParameters,
                                      [this](const AlarmInputParameters& r) {
                                          Show(m_inContact, r.contactAttribute);
                                          Show(m_inLinked, r.linkedOutput);
                                          Show(m_inPtzAddress, r.ptzAddress);
                                          Show(m_inPrompt, r.screenPrompt);
                                          Show(m_inUpload, r.networkUpload);
                                      });
                           }),
                    1, 5);
    grid->addWidget(Button(QStringLiteral("设置报警输入参数"),
                           [this] {
                               AlarmInputParameters r;
                               Read(m_inContact, r.contactAttribute);
                               Read(m_inLinked, r.linkedOutput);
                               Read(m_inPtzAddress, r.ptzAddress);
                               Read(m_inPrompt, r.screenPrompt);
                               Read(m_inUpload, r.networkUpload);
                               RunSet(kCmdSetAlarmInputParameters, SetAlarmInputParameters, r);
                           }),
                    2, 5);
    return group;
}

QGroupBox* CAlarmPage::OutputGroup()
{
    QGridLayout* grid = nullptr;
    QGroupBox* group = Group(QStringLiteral("报警输出"), &grid);
    AddChannelHeader(grid, 0);
    m_outContact = ChannelCombos(grid, 1, QStringLiteral("报警输出属性："), L::ContactAttributes());
    m_outDuration = ChannelEdits(grid, 2, QStringLiteral("报警输出时间："), L::OutputTimes());
    grid->addWidget(Button(QStringLiteral("获取报警输出参数"),
                           [this] {
                               RunGet(GetAlarmOutputParameters,
                                      [this](const AlarmOutputParameters& r) {
                                          Show(m_outContact, r.contactAttribute);
                                          Show(m_outDuration, r.outputDuration);
                                      });
                           }),
                    1, 5);
    grid->addWidget(Button(QStringLiteral("设置报警输出参数"),
                           [this] {
                               AlarmOutputParameters r;
                               Read(m_outContact, r.contactAttribute);
                               Read(m_outDuration, r.outputDuration);
                               RunSet(kCmdSetAlarmOutputParameters, SetAlarmOutputParameters, r);
                           }),
                    2, 5);
    return group;
}

QGroupBox* CAlarmPage::VideoAlarmGroup()
{
    QGridLayout* grid = nullptr;
    QGroupBox* group = Group(QStringLiteral("视频报警"), &grid);
    AddChannelHeader(grid, 0);
    m_vaLoss = ChannelCombos(grid, 1, QStringLiteral("视频丢失使能"), L::Enables());
    m_vaOcclusion = ChannelCombos(grid, 2, QStringLiteral("视频遮挡使能"), L::Enables());
    m_vaLinkage = AddLinkageRows(grid, 3);
    grid->addWidget(Button(QStringLiteral("获取视频报警参数"),
                           [this] {
                               RunGet(GetVideoAlarmParameters,
                                      [this](const VideoAlarmParameters& r) {
                                          Show(m_vaLoss, r.videoLossEnable);
                                          Show(m_vaOcclusion, r.videoOcclusionEnable);
                                          m_vaLinkage.ShowFrom(r);
                                      });
                           }),
                    1, 5);
    grid->addWidget(Button(QStringLiteral("设置视频报警参数"),
                           [this] {
                               VideoAlarmParameters r;
                               Read(m_vaLoss, r.videoLossEnable);
                               Read(m_vaOcclusion, r.videoOcclusionEnable);
                               m_vaLinkage.ReadInto(r);
                               RunSet(kCmdSetVideoAlarmParameters, SetVideoAlarmParameters, r);
                           }),
                    2, 5);
    return group;
}
