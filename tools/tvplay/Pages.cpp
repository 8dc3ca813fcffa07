#include "Pages.h"

#include <string>

#include "TarvoPlayLib.h"

#ifdef TVPLAY_WITH_QT
#include <QApplication>

#include <memory>

#include <strmif.h>

#include "CFilterPagesChooser.h"
#endif

#ifdef TVPLAY_WITH_QT

namespace {

// tvplay runs no Qt event loop of its own: an application object is made for
// the time a page window is open, unless one exists.
int ShowPages(IFilterGraph* graph)
{
    static int argc = 1;
    static char name[] = "tvplay";
    static char* argv[] = {name, nullptr};
    std::unique_ptr<QApplication> app;
    if (!QApplication::instance())
        app = std::make_unique<QApplication>(argc, argv);
    return ShowGraphFilterPages(graph);
}

} // namespace

bool OpenFilterPages(CStepLog& log, int handle, bool onScreen)
{
    IFilterGraph* graph = nullptr;
    const int r = TP_GetFilterGraph(handle, &graph);
    if (!log.Check(r == 0, "filter graph: %s", Describe(r).c_str()))
        return false;
    if (onScreen) {
        log.Say("property pages open; playback goes on, this window waits until they close");
        const int count = ShowPages(graph);
        graph->Release();
        return log.Check(count > 0, "property pages of %d filters closed", count);
    }
    std::vector<FilterWithPages> filters = ListFiltersWithPages(graph);
    graph->Release();
    std::string names;
    for (const FilterWithPages& f : filters)
        names += (names.empty() ? "" : ", ") + f.name.toStdString();
    const bool any = !filters.empty();
    ReleaseFilters(filters);
    return log.Check(any, "filters with property pages (offscreen: not shown): %s",
                     any ? names.c_str() : "none");
}

#else

bool OpenFilterPages(CStepLog& log, int, bool)
{
    return log.Check(false, "property pages: tvplay was built without Qt");
}

#endif
