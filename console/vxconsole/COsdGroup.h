// COsdGroup: the OSD settings of the encoder or of the decoder: colour, time
// and text shown with their positions, and the text. The encoding and the
// decoding pages each hold one, over their own pair of commands.
#pragma once

#include "CCommandPage.h"

class COsdGroup : public CCommandPage {
public:
    struct Commands {
        const char* getButton;
        const char* setButton;
        int (*get)(const char*, tvprotocol::OsdParameters*, int);
        int (*set)(const char*, const tvprotocol::OsdParameters*, int);
        uint16_t setCommand;
    };
    COsdGroup(CConsoleWindow& console, const Commands& commands, QWidget* parent = nullptr);

private:
    tvprotocol::OsdParameters Read() const;
    void Show(const tvprotocol::OsdParameters& r);

    QComboBox* m_colour;
    QComboBox* m_timeShown;
    QLineEdit* m_timeX;
    QLineEdit* m_timeY;
    QComboBox* m_textShown;
    QLineEdit* m_textX;
    QLineEdit* m_textY;
    QLineEdit* m_text;
};
