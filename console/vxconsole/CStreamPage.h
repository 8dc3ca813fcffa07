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

    // Sending and receiving alike: codec, stream type or number, transport,
    // peer address and port; each combo goes out as index + 1.
    struct StreamFields {
        QComboBox* codec = nullptr;
        QComboBox* kind = nullptr;
        QComboBox* transport = nullptr;
        CIpAddressEdit* address = nullptr;
        QLineEdit* port = nullptr;
    };
    StreamFields AddStreamFields(QGridLayout* grid, const QString& kindLabel,
                                 const QStringList& kinds, const QString& prefix);
    template <class Record> static Record ReadStream(const StreamFields& f, int32_t Record::*kind);

    StreamFields m_send;
    StreamFields m_recv;

    QComboBox* m_ptzCommand = nullptr;
    QLineEdit* m_ptzPreset = nullptr;
    QComboBox* m_ptzSpeed = nullptr;
};
