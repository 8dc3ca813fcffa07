#include "CFilterPagesChooser.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "CPropertyFrame.h"
#include "win32/text.h"

#include <cprop.h>

namespace {

// Whether the filter names at least one page.
bool OffersPages(IBaseFilter* filter)
{
    ISpecifyPropertyPages* specify = nullptr;
    if (FAILED(filter->QueryInterface(IID_ISpecifyPropertyPages,
                                      reinterpret_cast<void**>(&specify))) ||
        !specify)
        return false;
    CAUUID pages{};
    const HRESULT hr = specify->GetPages(&pages);
    specify->Release();
    const bool any = SUCCEEDED(hr) && pages.cElems > 0;
    CoTaskMemFree(pages.pElems);
    return any;
}

QString NameOf(IBaseFilter* filter)
{
    FILTER_INFO info{};
    if (FAILED(filter->QueryFilterInfo(&info)))
        return QString();
    if (info.pGraph)
        info.pGraph->Release();
    return QString::fromUtf8(TvWideToUtf8(info.achName).c_str());
}

} // namespace

std::vector<FilterWithPages> ListFiltersWithPages(IFilterGraph* graph)
{
    std::vector<FilterWithPages> filters;
    IEnumFilters* filterEnum = nullptr;
    if (!graph || FAILED(graph->EnumFilters(&filterEnum)) || !filterEnum)
        return filters;
    IBaseFilter* filter = nullptr;
    while (filterEnum->Next(1, &filter, nullptr) == S_OK && filter) {
        if (OffersPages(filter))
            filters.push_back({filter, NameOf(filter)}); // keeps Next's reference
        else
            filter->Release();
        filter = nullptr;
    }
    filterEnum->Release();
    return filters;
}

void ReleaseFilters(std::vector<FilterWithPages>& filters)
{
    for (FilterWithPages& f : filters) {
        if (f.filter)
            f.filter->Release();
    }
    filters.clear();
}

CFilterPagesChooser::CFilterPagesChooser(IFilterGraph* graph, QWidget* parent)
    : QDialog(parent), m_filters(ListFiltersWithPages(graph))
{
    setWindowTitle(QStringLiteral("Filter properties"));
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(m_filters.empty() ? QStringLiteral("No filter has property pages")
                                               : QStringLiteral("Filters:"),
                             this);
    label->setObjectName("heading");
    layout->addWidget(label);
    m_list = new QListWidget(this);
    m_list->setObjectName("filters");
    for (const FilterWithPages& f : m_filters)
        m_list->addItem(f.name);
    if (!m_filters.empty())
        m_list->setCurrentRow(0);
    layout->addWidget(m_list);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton* properties =
        buttons->addButton(QStringLiteral("Properties..."), QDialogButtonBox::ActionRole);
    properties->setObjectName("properties");
    properties->setEnabled(!m_filters.empty());
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(properties, &QPushButton::clicked, this, [this] { OpenPages(m_list->currentRow()); });
    connect(m_list, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { OpenPages(m_list->row(item)); });
}

CFilterPagesChooser::~CFilterPagesChooser()
{
    // The frames are children: they go (and release their pages) first.
    for (CPropertyFrame* frame : findChildren<CPropertyFrame*>())
        delete frame;
    ReleaseFilters(m_filters);
}

CPropertyFrame* CFilterPagesChooser::OpenPages(int index)
{
    if (index < 0 || index >= FilterCount())
        return nullptr;
    auto* frame =
        new CPropertyFrame(m_filters[size_t(index)].filter, m_filters[size_t(index)].name, this);
    frame->setAttribute(Qt::WA_DeleteOnClose);
    frame->show();
    return frame;
}

int ShowGraphFilterPages(IFilterGraph* graph, QWidget* parent)
{
    CFilterPagesChooser chooser(graph, parent);
    const int count = chooser.FilterCount();
    if (count == 1) {
        CPropertyFrame frame(chooser.Filter(0).filter, chooser.Filter(0).name, parent);
        frame.exec();
    } else if (count > 1) {
        chooser.exec();
    }
    return count;
}
