#include "CDeviceConfigPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>

#include "CIpAddressEdit.h"
#include "ConsoleLists.h"

using namespace tvprotocol;

namespace {

// The device numbers its serial ports' transmission port from this base.
constexpr int32_t kTransmissionPortBase = 1200;

} // namespace

CDeviceConfigPage::CDeviceConfigPage(CConsoleWindow& console, QWidget* parent)
    : CCommandPage(console, parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(NetworkGroup());
    layout->addWidget(SerialGroup());
    layout->addWidget(TimeGroup());
    layout->addStretch(1);
}

QGroupBox* CDeviceConfigPage::NetworkGroup()
{
    QGridLayout* grid = nullptr;
    QGroupBox* group = Group(QStringLiteral("网络参数"), &grid);
    m_dhcp = new QCheckBox(QStringLiteral("DHCP"), this);
    m_dhcp->setObjectName(QStringLiteral("dhcp"));
    m_ip = AddressEdit("ip");
    m_mask = AddressEdit("mask");
    m_gateway = AddressEdit("gateway");
    m_primaryDns = AddressEdit("primaryDns");
    m_secondaryDns = AddressEdit("secondaryDns");
    m_mac = TextEdit(31, "mac");
    grid->addWidget(m_dhcp, 0, 1);
    AddField(grid, 1, 0, QStringLiteral("IP:"), m_ip);
    AddField(grid, 1, 2, QStringLiteral("MASK:"), m_mask);
    AddField(grid, 2, 0, QStringLiteral("GATEWAY:"), m_gateway);
    AddField(grid, 2, 2, QStringLiteral("MAC:"), m_mac);
    AddField(grid, 3, 0, QStringLiteral("主DNS:"), m_primaryDns);
    AddField(grid, 3, 2, QStringLiteral("从DNS:"), m_secondaryDns);
    grid->addWidget(Button(QStringLiteral("获取网络参数"),
                           [this] {
                               RunGet(GetNetworkParameters,
                                      [this](const NetworkParameters& r) { ShowNetwork(r); });
                           }),
                    0, 4);
    grid->addWidget(
        Button(QStringLiteral("设置网络参数"),
               [this] { RunSet(kCmdSetNetworkParameters, SetNetworkParameters, ReadNetwork()); }),
        1, 4);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    return group;
}

NetworkParameters CDeviceConfigPage::ReadNetwork() const
{
    NetworkParameters r;
    r.bootProtocol = m_dhcp->isChecked() ? kBootDhcp : kBootStatic;
    r.ipAddress = m_ip->Address();
    r.netmask = m_mask->Address();
    r.gateway = m_gateway->Address();
    r.primaryDns = m_primaryDns->Address();
    r.secondaryDns = m_secondaryDns->Address();
    r.macAddress = Text(m_mac);
    return r;
}

void CDeviceConfigPage::ShowNetwork(const NetworkParameters& r)
{
    m_dhcp->setChecked(r.bootProtocol == kBootDhcp);
    m_ip->SetAddress(r.ipAddress);
    m_mask->SetAddress(r.netmask);
    m_gateway->SetAddress(r.gateway);
    m_primaryDns->SetAddress(r.primaryDns);
    m_secondaryDns->SetAddress(r.secondaryDns);
    SetText(m_mac, r.macAddress);
}

QGroupBox* CDeviceConfigPage::SerialGroup()
{
    QGridLayout* grid = nullptr;
    QGroupBox* group = Group(QStringLiteral("串口参数"), &grid);
    namespace L = consolelists;
    m_serialPort = NumberEdit("serialPort");
    m_serialMode = Combo(L::SerialModes(), "serialMode");
    m_baudRate = NumberEdit("baudRate");
    m_dataBits = Combo(L::DataBits(), "dataBits");
    m_parity = Combo(L::Parities(), "parity");
    m_stopBits = Combo(L::StopBits(), "stopBits");
    m_flowControl = Combo(L::FlowControls(), "flowControl");
    m_ptzProtocol = Combo(L::PtzProtocols(), "ptzProtocol");
    m_ptzAddress = NumberEdit("ptzAddress");
    m_transmission = Combo(L::TransmissionModes(), "transmissionMode");
    m_restorePort = NumberEdit("restorePort");
    AddField(grid, 0, 0, QStringLiteral("串口编号:"), m_serialPort);
    AddField(grid, 0, 2, QStringLiteral("串口模式:"), m_serialMode);
    AddField(grid, 1, 0, QStringLiteral("波特率:"), m_baudRate);
    AddField(grid, 1, 2, QStringLiteral("数据位:"), m_dataBits);
    AddField(grid, 2, 0, QStringLiteral("校验位:"), m_parity);
    AddField(grid, 2, 2, QStringLiteral("停止位:"), m_stopBits);
    AddField(grid, 3, 0, QStringLiteral("流控:"), m_flowControl);
    AddField(grid, 3, 2, QStringLiteral("云台控制:"), m_ptzProtocol);
    AddField(grid, 4, 0, QStringLiteral("云台地址:"), m_ptzAddress);
    AddField(grid, 4, 2, QStringLiteral("传输方式:"), m_transmission);
    grid->addWidget(Button(QStringLiteral("获取串口参数"),
                           [this] {
                               SerialPortParameters request;
                               request.portNumber = Number(m_serialPort);
                               RunGet(
                                   GetSerialPortParameters,
                                   [this](const SerialPortParameters& r) { ShowSerial(r); },
                                   request);
                           }),
                    0, 4);
    grid->addWidget(Button(QStringLiteral("设置串口参数"),
                           [this] {
                               RunSet(kCmdSetSerialPortParameters, SetSerialPortParameters,
                                      ReadSerial());
                           }),
                    1, 4);
    AddField(grid, 5, 0, QStringLiteral("串口编号:"), m_restorePort);
    grid->addWidget(Button(QStringLiteral("恢复串口参数"),
                           [this] {
                               const int32_t port = Number(m_restorePort);
                               RunAction(kCmdRestoreSerialPortParameters,
                                         [port](const char* address, int devicePort) {
                                             return RestoreSerialPortParameters(address, port,
                                                                                devicePort);
                                         });
                           }),
                    5, 4);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    return group;
}

SerialPortParameters CDeviceConfigPage::ReadSerial() const
{
    SerialPortParameters r;
    r.portNumber = Number(m_serialPort);
    r.serialMode = Index(m_serialMode);
    r.baudRate = Number(m_baudRate);
    r.dataBits = Index(m_dataBits, 5);
    r.parity = Index(m_parity);
    r.stopBits = Index(m_stopBits, 1);
    r.flowControl = Index(m_flowControl);
    r.ptzProtocol = Index(m_ptzProtocol, 1);
    r.ptzAddress = Number(m_ptzAddress);
    r.transmissionMode = Index(m_transmission);
    r.transmissionPort = r.portNumber + kTransmissionPortBase;
    return r;
}

void CDeviceConfigPage::ShowSerial(const SerialPortParameters& r)
{
    Select(m_serialMode, r.serialMode);
    SetNumber(m_baudRate, r.baudRate);
    Select(m_dataBits, r.dataBits - 5);
    Select(m_parity, r.parity);
    Select(m_stopBits, r.stopBits - 1);
    Select(m_flowControl, r.flowControl);
    Select(m_ptzProtocol, r.ptzProtocol - 1);
    SetNumber(m_ptzAddress, r.ptzAddress);
    Select(m_transmission, r.transmissionMode);
}

QGroupBox* CDeviceConfigPage::TimeGroup()
{
    QGridLayout* grid = nullptr;
    QGroupBox* group = Group(QStringLiteral("系统时间"), &grid);
    const QDateTime now = QDateTime::currentDateTime();
    m_date = new QDateEdit(now.date(), this);
    m_date->setObjectName(QStringLiteral("date"));
    m_date->setCalendarPopup(true);
    m_date->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    m_time = new QTimeEdit(now.time(), this);
    m_time->setObjectName(QStringLiteral("time"));
    m_time->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    grid->addWidget(m_date, 0, 0);
    grid->addWidget(m_time, 0, 1);
    grid->addWidget(Button(QStringLiteral("设置系统时间"),
                           [this] {
                               const QDate d = m_date->date();
                               const QTime t = m_time->time();
                               DeviceTime r;
                               r.year = d.year();
                               r.month = d.month();
                               r.day = d.day();
                               r.weekday = d.dayOfWeek(); // 1 Monday .. 7 Sunday, as sent
                               r.hour = t.hour();
                               r.minute = t.minute();
                               r.second = t.second();
                               RunSet(kCmdSetSystemTime, SetSystemTime, r);
                           }),
                    0, 3);
    grid->addWidget(Button(QStringLiteral("获取系统时间"),
                           [this] { RunGet(GetSystemTime, [](const DeviceTime&) {}); }),
                    0, 4);
    grid->setColumnStretch(2, 1);
    return group;
}
