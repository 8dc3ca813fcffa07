// CDecodingPage ("解码参数"): decoder parameters and their restore, the
// decoder's OSD, and the audio intercom.
#pragma once

#include "CCommandPage.h"

class CDecodingPage : public CCommandPage {
public:
    explicit CDecodingPage(CConsoleWindow& console, QWidget* parent = nullptr);

private:
    QGroupBox* DecoderGroup();
    QGroupBox* IntercomGroup();

    QComboBox* m_videoOutput = nullptr;
    QComboBox* m_resolution = nullptr;
    QComboBox* m_audioOn = nullptr;
    QComboBox* m_audioOutput = nullptr;

    QComboBox* m_intercomOn = nullptr;
    QComboBox* m_intercomCodec = nullptr;
    CIpAddressEdit* m_calledAddress = nullptr;
    QLineEdit* m_calledPort = nullptr;
};
