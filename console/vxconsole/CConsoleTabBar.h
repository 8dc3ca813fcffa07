// CConsoleTabBar: the console's tab strip, drawn by the console itself.
//
// The strip is filled RGB 223, 223, 223; an unselected tab RGB 200, 200, 200
// with its caption in RGB 0, 54, 128; the selected tab RGB 223, 223, 223, one
// pixel wider on each side, with its caption in RGB 100, 207, 3. A caption
// starts 5 pixels right of and 3 pixels below its tab's corner. Tabs are
// painted from the last to the first and the selected one last, so it covers
// its neighbours' edges.
#pragma once

#include <QTabBar>

class CConsoleTabBar : public QTabBar {
public:
    explicit CConsoleTabBar(QWidget* parent = nullptr);

    static QColor StripColour() { return QColor(223, 223, 223); }
    static QColor TabColour() { return QColor(200, 200, 200); }
    static QColor CaptionColour() { return QColor(0, 54, 128); }
    static QColor SelectedCaptionColour() { return QColor(100, 207, 3); }
    static constexpr int kCaptionX = 5;
    static constexpr int kCaptionY = 3;

protected:
    QSize tabSizeHint(int index) const override;
    void paintEvent(QPaintEvent* event) override;

private:
    void PaintTab(class QPainter& painter, int index, bool selected) const;
};
