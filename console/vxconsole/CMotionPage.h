// CMotionPage ("移动侦测"): motion detection per channel, restoring the alarm
// settings, sending alarm states to the device, and the alarm centre.
#pragma once

#include "CCommandPage.h"

class CMotionPage : public CCommandPage {
public:
    explicit CMotionPage(CConsoleWindow& console, QWidget* parent = nullptr);

private:
    QGroupBox* MotionGroup();
    QGroupBox* StateGroup();
    QGroupBox* CentreGroup();

    ChannelCombosT m_enable{};
    LinkageRows m_linkage;
    ChannelCombosT m_inputState{}, m_lossState{}, m_occlusionState{}, m_motionState{};
    CIpAddressEdit* m_centreAddress = nullptr;
    QLineEdit* m_centrePort = nullptr;
};
