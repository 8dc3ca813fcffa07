#include "CConsoleLogView.h"

#include <QScrollBar>
#include <QTextCursor>

namespace {

const QString kLogFamily = QStringLiteral("宋体");

void AddSubstitutes()
{
    // The faces that stand for "宋体" where it is missing: its own Latin name
    // first, then the CJK families Debian ships. fontconfig alone would answer
    // the unknown name with a Latin-only face.
    static const bool once = [] {
        QFont::insertSubstitutions(
            kLogFamily, {QStringLiteral("SimSun"), QStringLiteral("NSimSun"),
                         QStringLiteral("Noto Serif CJK SC"), QStringLiteral("Noto Sans CJK SC"),
                         QStringLiteral("AR PL UMing CN"), QStringLiteral("WenQuanYi Zen Hei"),
                         QStringLiteral("WenQuanYi Micro Hei")});
        return true;
    }();
    (void)once;
}

} // namespace

QFont CConsoleLogView::LogFont()
{
    AddSubstitutes();
    QFont font(kLogFamily);
    font.setPointSize(10);
    return font;
}

CConsoleLogView::CConsoleLogView(QWidget* parent) : QTextEdit(parent)
{
    setReadOnly(true);
    setUndoRedoEnabled(false);
    const QFont font = LogFont();
    document()->setDefaultFont(font);
    m_success.setFont(font);
    m_success.setForeground(SuccessColour());
    m_failure.setFont(font);
    m_failure.setForeground(FailureColour());
}

void CConsoleLogView::Append(const tvprotocol::LogEntry& entry)
{
    // "\r\n" is one line break (a lone '\r' would be one more paragraph here).
    QString text = QString::fromUtf8(entry.text.data(), qsizetype(entry.text.size()));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text, entry.success ? m_success : m_failure);
    setTextCursor(cursor);
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}
