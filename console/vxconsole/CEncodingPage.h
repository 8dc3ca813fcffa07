// CEncodingPage ("编码参数"): picture parameters, encoder parameters and
// defaults, the encoder's OSD, and audio encoding.
#pragma once

#include "CCommandPage.h"

class CEncodingPage : public CCommandPage {
public:
    explicit CEncodingPage(CConsoleWindow& console, QWidget* parent = nullptr);

private:
    QGroupBox* VideoGroup();
    QGroupBox* EncoderGroup();
    QGroupBox* AudioGroup();
    tvprotocol::EncoderParameters ReadEncoder() const;
    void ShowEncoder(const tvprotocol::EncoderParameters& r);
    tvprotocol::AudioEncodingParameters ReadAudio() const;
    void ShowAudio(const tvprotocol::AudioEncodingParameters& r);

    // brightness, contrast, hue, saturation, sharpness
    std::array<QLineEdit*, 5> m_picture{};

    QComboBox* m_videoInput = nullptr;
    QComboBox* m_resolution = nullptr;
    QLineEdit* m_frameRate = nullptr;
    QLineEdit* m_bitRate = nullptr;
    QLineEdit* m_gop = nullptr;
    QLineEdit* m_gopM = nullptr;
    QLineEdit* m_qp = nullptr;
    QComboBox* m_rateControl = nullptr;

    QComboBox* m_audioOn = nullptr;
    QComboBox* m_audioSource = nullptr;
    QComboBox* m_audioCodec = nullptr;
    QComboBox* m_sampleWidth = nullptr;
    QComboBox* m_sampleRate = nullptr;
};
