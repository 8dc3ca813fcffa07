// CSystemPage ("系统配置"): serial number, device number, versions, work mode
// and reboot.
#pragma once

#include "CCommandPage.h"

class CSystemPage : public CCommandPage {
public:
    explicit CSystemPage(CConsoleWindow& console, QWidget* parent = nullptr);

private:
    QLineEdit* m_serialNumber;
    QLineEdit* m_deviceNumber;
    QComboBox* m_workMode;
};
