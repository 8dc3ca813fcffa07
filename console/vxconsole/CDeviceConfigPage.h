// CDeviceConfigPage ("设备配置"): network parameters, serial ports and the
// system time.
#pragma once

#include "CCommandPage.h"

class QCheckBox;
class QDateEdit;
class QTimeEdit;

class CDeviceConfigPage : public CCommandPage {
public:
    explicit CDeviceConfigPage(CConsoleWindow& console, QWidget* parent = nullptr);

private:
    QGroupBox* NetworkGroup();
    QGroupBox* SerialGroup();
    QGroupBox* TimeGroup();
    tvprotocol::NetworkParameters ReadNetwork() const;
    void ShowNetwork(const tvprotocol::NetworkParameters& r);
    tvprotocol::SerialPortParameters ReadSerial() const;
    void ShowSerial(const tvprotocol::SerialPortParameters& r);

    QCheckBox* m_dhcp = nullptr;
    CIpAddressEdit* m_ip = nullptr;
    CIpAddressEdit* m_mask = nullptr;
    CIpAddressEdit* m_gateway = nullptr;
    CIpAddressEdit* m_primaryDns = nullptr;
    CIpAddressEdit* m_secondaryDns = nullptr;
    QLineEdit* m_mac = nullptr;

    QLineEdit* m_serialPort = nullptr;
    QComboBox* m_serialMode = nullptr;
    QLineEdit* m_baudRate = nullptr;
    QComboBox* m_dataBits = nullptr;
    QComboBox* m_parity = nullptr;
    QComboBox* m_stopBits = nullptr;
    QComboBox* m_flowControl = nullptr;
    QComboBox* m_ptzProtocol = nullptr;
    QLineEdit* m_ptzAddress = nullptr;
    QComboBox* m_transmission = nullptr;
    QLineEdit* m_restorePort = nullptr;

    QDateEdit* m_date = nullptr;
    QTimeEdit* m_time = nullptr;
};
