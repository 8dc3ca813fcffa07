#include "ConsoleScreenshots.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTabWidget>

#include "CConsoleWindow.h"
#include "ConsoleLists.h"

QStringList SaveConsoleScreenshots(CConsoleWindow& window, const QString& dir, int* failed)
{
    QStringList written;
    int failures = 0;
    QDir().mkpath(dir);
    if (!window.isVisible())
        window.show();
    const QStringList& names = consolelists::PageFileNames();
    for (int i = 0; i < window.Pages()->count() && i < names.size(); ++i) {
        window.Pages()->setCurrentIndex(i);
        // Layouts settle and the strip repaints before the picture is taken.
        QApplication::processEvents();
        const QString path =
            QDir(dir).filePath(QStringLiteral("console-%1-%2.png").arg(i + 1).arg(names[i]));
        if (window.grab().save(path, "PNG"))
            written << path;
        else
            ++failures;
    }
    window.Pages()->setCurrentIndex(0);
    if (failed)
        *failed = failures;
    return written;
}
