// CStreamPage ("码流信息"): starting, stopping and listing the device's stream
// sending and receiving, and PTZ control.
#pragma once

#include "CCommandPage.h"

class CStreamPage : public CCommandPage {
public:
    explicit CStreamPage(CConsoleWindow& console, QWidget* parent = nullptr);

private:
    QGroupBox* SendingGroup();
    QGroupBox* ReceivingGroup();
    QGroupBox* PtzGroup();
    tvprotocol::StreamSendingParameters ReadSending() const;
    tvprotocol::StreamReceivingParameters ReadReceiving() const;

    QComboBox* m_sendCodec = nullptr;
    QComboBox* m_sendType = nullptr;
    QComboBox* m_sendTransport = nullptr;
    CIpAddressEdit* m_sendAddress = nullptr;
    QLineEdit* m_sendPort = nullptr;

    QComboBox* m_recvCodec = nullptr;
    QComboBox* m_recvNumber = nullptr;
    QComboBox* m_recvTransport = nullptr;
    CIpAddressEdit* m_recvAddress = nullptr;
    QLineEdit* m_recvPort = nullptr;

    QComboBox* m_ptzCommand = nullptr;
    QLineEdit* m_ptzPreset = nullptr;
    QComboBox* m_ptzSpeed = nullptr;
};
