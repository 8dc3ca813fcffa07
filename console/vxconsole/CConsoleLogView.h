// CConsoleLogView: the console's rich-text log. One entry per command: blue
// (0, 0, 255) for a success, red (255, 0, 0) for a failure, both in the font
// "宋体"; after each entry the view scrolls to its end.
//
// "宋体" is rarely installed here; its name is substituted by the CJK faces
// fontconfig may offer (see LogFont), so the entries never show empty boxes.
#pragma once

#include <QTextCharFormat>
#include <QTextEdit>

#include "tvprotocol/ConsoleLog.h"

class CConsoleLogView : public QTextEdit {
public:
    explicit CConsoleLogView(QWidget* parent = nullptr);

    // Appends the entry's text ("\r\n" ends a line) in its colour.
    void Append(const tvprotocol::LogEntry& entry);

    // The font of the entries: the family "宋体", with CJK substitutes.
    static QFont LogFont();
    static QColor SuccessColour() { return QColor(0, 0, 255); }
    static QColor FailureColour() { return QColor(255, 0, 0); }

private:
    QTextCharFormat m_success;
    QTextCharFormat m_failure;
};
