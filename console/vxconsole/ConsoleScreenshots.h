// Pictures of the console: the main window with each page selected in turn,
// saved as DIR/console-<n>-<name>.png (n = 1 .. 8 in tab order, name the
// page's ASCII name, e.g. console-1-system.png).
#pragma once

#include <QString>
#include <QStringList>

class CConsoleWindow;

// Shows the window if needed, renders the eight pictures and selects the first
// page again. Returns the files written; *failed (when given) counts the
// pictures that could not be saved (a missing folder is made first).
QStringList SaveConsoleScreenshots(CConsoleWindow& window, const QString& dir,
                                   int* failed = nullptr);
