// CFilterPagesChooser: the filters of a graph that offer property pages, and a
// small window to pick one and open its pages in a CPropertyFrame. This is how
// a person tunes the filters of a running player (TP_GetFilterGraph).
//
// The chooser holds each listed filter, never the graph: a player that closes
// its graph meanwhile really closes it, and the pages opened on one of its
// filters then refuse to apply (CPropertyFrame).
//
// Threads: the Qt GUI thread.
#pragma once

#include <QDialog>
#include <QString>

#include <vector>

#include <strmif.h>

class CPropertyFrame;
class QListWidget;

// One filter that offers at least one page: held (add-referenced) by the
// entry's owner, with the name it has in its graph.
struct FilterWithPages {
    IBaseFilter* filter = nullptr;
    QString name;
};

// The graph's filters that offer pages through ISpecifyPropertyPages, in the
// graph's order, each add-referenced (ReleaseFilters drops them). Empty for a
// null graph.
std::vector<FilterWithPages> ListFiltersWithPages(IFilterGraph* graph);
void ReleaseFilters(std::vector<FilterWithPages>& filters);

class CFilterPagesChooser : public QDialog {
public:
    // Lists the graph's filters with pages ("filters", a list by name) with a
    // "Properties..." button ("properties"; a double click does the same) and
    // "Close".
    explicit CFilterPagesChooser(IFilterGraph* graph, QWidget* parent = nullptr);
    ~CFilterPagesChooser() override;

    int FilterCount() const { return int(m_filters.size()); }
    const FilterWithPages& Filter(int index) const { return m_filters[size_t(index)]; }
    // Opens the pages of filter `index` in a property frame of their own
    // (modeless, deleted when closed, a child of the chooser); null for an
    // index out of range.
    CPropertyFrame* OpenPages(int index);

private:
    std::vector<FilterWithPages> m_filters;
    QListWidget* m_list = nullptr;
};

// Shows the pages of the graph's filters and returns when the window closes:
// one filter with pages gets its property frame at once, several the chooser.
// Returns how many filters offer pages (0: nothing was shown).
int ShowGraphFilterPages(IFilterGraph* graph, QWidget* parent = nullptr);
