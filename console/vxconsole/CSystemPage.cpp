#include "CSystemPage.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ConsoleLists.h"

using namespace tvprotocol;

CSystemPage::CSystemPage(CConsoleWindow& console, QWidget* parent)
    : CCommandPage(console, parent), m_serialNumber(TextEdit(31, "serialNumber")),
      m_deviceNumber(TextEdit(31, "deviceNumber")),
      m_workMode(Combo(consolelists::WorkModes(), "workMode"))
{
    QGridLayout* grid = nullptr;
    QGroupBox* identity = Group(QStringLiteral("设备信息"), &grid);
    AddField(grid, 0, 0, QStringLiteral("序列号："), m_serialNumber);
    grid->addWidget(Button(QStringLiteral("设置序列号"),
                           [this] {
                               DeviceSerialNumber r;
                               r.serialNumber = Text(m_serialNumber);
                               RunSet(kCmdSetDeviceSerialNumber, SetDeviceSerialNumber, r);
                           }),
                    0, 2);
    grid->addWidget(Button(QStringLiteral("获取序列号"),
                           [this] {
                               RunGet(GetDeviceSerialNumber, [this](const DeviceSerialNumber& r) {
                                   SetText(m_serialNumber, r.serialNumber);
                               });
                           }),
                    0, 3);
    AddField(grid, 1, 0, QStringLiteral("设备编号："), m_deviceNumber);
    grid->addWidget(Button(QStringLiteral("设置设备编号"),
                           [this] {
                               DeviceNumber r;
                               r.deviceNumber = Text(m_deviceNumber);
                               RunSet(kCmdSetDeviceNumber, SetDeviceNumber, r);
                           }),
                    1, 2);
    grid->addWidget(Button(QStringLiteral("获取设备编号"),
                           [this] {
                               RunGet(GetDeviceNumber, [this](const DeviceNumber& r) {
                                   SetText(m_deviceNumber, r.deviceNumber);
                               });
                           }),
                    1, 3);
    grid->addWidget(Button(QStringLiteral("获取版本号"),
                           [this] { RunGet(GetVersions, [](const DeviceVersions&) {}); }),
                    2, 3);
    grid->setColumnStretch(1, 1);

    QGroupBox* mode = Group(QStringLiteral("工作模式"), &grid);
    AddField(grid, 0, 0, QStringLiteral("模式选择："), m_workMode);
    grid->addWidget(Button(QStringLiteral("获取工作模式"),
                           [this] {
                               RunGet(GetWorkMode, [this](const WorkModeParameters& r) {
                                   Select(m_workMode, r.workMode);
                               });
                           }),
                    0, 2);
    grid->addWidget(Button(QStringLiteral("设置工作模式"),
                           [this] {
                               WorkModeParameters r;
                               r.workMode = Index(m_workMode);
                               RunSet(kCmdSetWorkMode, SetWorkMode, r);
                           }),
                    0, 3);
    grid->setColumnStretch(1, 1);

    QGroupBox* device = Group(QStringLiteral("设备"), &grid);
    grid->addWidget(
        Button(QStringLiteral("设备重启"), [this] { RunAction(kCmdRebootDevice, RebootDevice); }),
        0, 0);
    grid->setColumnStretch(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(identity);
    layout->addWidget(mode);
    layout->addWidget(device);
    layout->addStretch(1);
}
