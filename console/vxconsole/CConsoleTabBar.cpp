#include "CConsoleTabBar.h"

#include <QPainter>

CConsoleTabBar::CConsoleTabBar(QWidget* parent) : QTabBar(parent)
{
    setDrawBase(false);
    setExpanding(false);
    setElideMode(Qt::ElideNone);
    setUsesScrollButtons(true);
    // Captions in their exact colours, as the owner-drawn strip shows them.
    QFont captions = font();
    captions.setStyleStrategy(QFont::NoAntialias);
    setFont(captions);
}

QSize CConsoleTabBar::tabSizeHint(int index) const
{
    const QFontMetrics metrics(font());
    // The caption's offset on both sides, and room for the selected tab's
    // extra pixel.
    return QSize(metrics.horizontalAdvance(tabText(index)) + 2 * kCaptionX + 2,
                 metrics.height() + 2 * kCaptionY + 2);
}

void CConsoleTabBar::PaintTab(QPainter& painter, int index, bool selected) const
{
    QRect rect = tabRect(index);
    if (selected)
        rect.adjust(-1, 0, 1, 0);
    painter.fillRect(rect, selected ? StripColour() : TabColour());
    painter.setPen(selected ? SelectedCaptionColour() : CaptionColour());
    const QRect caption = tabRect(index).adjusted(kCaptionX, kCaptionY, 0, 0);
    painter.drawText(caption, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, tabText(index));
}

void CConsoleTabBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), StripColour());
    const int selected = currentIndex();
    for (int i = count() - 1; i >= 0; --i)
        if (i != selected)
            PaintTab(painter, i, false);
    if (selected >= 0)
        PaintTab(painter, selected, true);
}
