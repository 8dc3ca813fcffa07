// CAlarmPage ("报警参数"): alarm inputs, alarm outputs and video alarms, each
// setting per channel "ch1" to "ch4".
#pragma once

#include "CCommandPage.h"

class CAlarmPage : public CCommandPage {
public:
    explicit CAlarmPage(CConsoleWindow& console, QWidget* parent = nullptr);

private:
    QGroupBox* InputGroup();
    QGroupBox* OutputGroup();
    QGroupBox* VideoAlarmGroup();

    ChannelCombosT m_inContact{}, m_inLinked{}, m_inPrompt{}, m_inUpload{};
    ChannelEditsT m_inPtzAddress{};
    ChannelCombosT m_outContact{};
    ChannelEditsT m_outDuration{};
    ChannelCombosT m_vaLoss{}, m_vaOcclusion{};
    LinkageRows m_vaLinkage;
};
