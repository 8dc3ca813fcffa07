#include "CPropertyFrame.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "CDialogView.h"
#include "win32/text.h"

// The frame's side of every page: a change makes Apply available.
class CPropertyFrame::CSite final : public IPropertyPageSite {
public:
    explicit CSite(CPropertyFrame* frame) : m_frame(frame) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IPropertyPageSite) {
            *ppv = static_cast<IPropertyPageSite*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    // The frame owns the site and outlives every page that holds it.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP OnStatusChange(DWORD) override
    {
        m_frame->UpdateApply();
        return S_OK;
    }
    STDMETHODIMP GetLocaleID(LCID* locale) override
    {
        if (!locale)
            return E_POINTER;
        *locale = 0x0804;
        return S_OK;
    }
    STDMETHODIMP GetPageContainer(IUnknown** container) override
    {
        if (container)
            *container = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP TranslateAccelerator(MSG*) override { return E_NOTIMPL; }

private:
    CPropertyFrame* m_frame;
};

CPropertyFrame::CPropertyFrame(IUnknown* object, const QString& caption, QWidget* parent)
    : QDialog(parent), m_site(new CSite(this))
{
    setWindowTitle(caption.isEmpty() ? QStringLiteral("Properties") : caption);
    auto* layout = new QVBoxLayout(this);
    m_tabs = new QTabWidget(this);
    layout->addWidget(m_tabs);
    m_status = new QLabel(this);
    m_status->setObjectName("status");
    layout->addWidget(m_status);
    auto* buttons = new QDialogButtonBox(
        QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, this);
    m_apply = buttons->button(QDialogButtonBox::Apply);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("ok");
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("cancel");
    m_apply->setObjectName("apply");
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (SUCCEEDED(ApplyAll()))
            accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_apply, &QPushButton::clicked, this, [this] { ApplyAll(); });
    OpenPages(object);
    UpdateApply();
}

CPropertyFrame::~CPropertyFrame()
{
    ClosePages();
    if (m_filter)
        m_filter->Release();
    delete m_site;
}

namespace {

// The graph the filter is in (identity only; the reference is dropped).
IFilterGraph* GraphOf(IBaseFilter* filter)
{
    FILTER_INFO info{};
    if (FAILED(filter->QueryFilterInfo(&info)))
        return nullptr;
    if (info.pGraph)
        info.pGraph->Release();
    return info.pGraph;
}

} // namespace

bool CPropertyFrame::ObjectInPlace()
{
    if (m_gone)
        return false;
    if (!m_filter || !m_graph || GraphOf(m_filter) == m_graph)
        return true;
    m_gone = true;
    for (PageEntry& e : m_pages)
        e.view->setEnabled(false);
    m_status->setText("The filter is no longer in its graph: nothing was applied");
    UpdateApply();
    return false;
}

void CPropertyFrame::OpenPages(IUnknown* object)
{
    if (object &&
        SUCCEEDED(object->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&m_filter))))
        m_graph = GraphOf(m_filter);
    ISpecifyPropertyPages* specify = nullptr;
    if (!object || FAILED(object->QueryInterface(IID_ISpecifyPropertyPages,
                                                 reinterpret_cast<void**>(&specify)))) {
        m_status->setText("No property pages");
        return;
    }
    CAUUID pages{};
    const HRESULT hr = specify->GetPages(&pages);
    specify->Release();
    if (FAILED(hr))
        return;
    for (ULONG i = 0; i < pages.cElems; ++i) {
        IPropertyPage* page = nullptr;
        if (FAILED(CoCreateInstance(pages.pElems[i], nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IPropertyPage, reinterpret_cast<void**>(&page))))
            continue;
        page->SetPageSite(m_site);
        RECT rect{0, 0, 0, 0};
        if (FAILED(page->SetObjects(1, &object)) || FAILED(page->Activate(nullptr, &rect, FALSE))) {
            page->SetObjects(0, nullptr);
            page->SetPageSite(nullptr);
            page->Release();
            continue;
        }
        PROPPAGEINFO info{};
        QString title = QString("Page %1").arg(i + 1);
        if (SUCCEEDED(page->GetPageInfo(&info)) && info.pszTitle) {
            title = QString::fromUtf8(TvWideToUtf8(info.pszTitle).c_str());
            CoTaskMemFree(info.pszTitle);
        }
        auto* base = dynamic_cast<CBasePropertyPage*>(page);
        auto* view = new CDialogView(base ? base->DialogWindow() : nullptr, m_tabs);
        view->SetActionGuard([this] { return ObjectInPlace(); });
        m_tabs->addTab(view, title);
        m_pages.push_back({page, view});
    }
    CoTaskMemFree(pages.pElems);
}

void CPropertyFrame::ClosePages()
{
    for (PageEntry& e : m_pages) {
        e.view->Detach();
        e.page->Deactivate();
        e.page->SetObjects(0, nullptr);
        e.page->SetPageSite(nullptr);
        e.page->Release();
    }
    m_pages.clear();
}

void CPropertyFrame::UpdateApply()
{
    bool dirty = false;
    for (const PageEntry& e : m_pages)
        dirty = dirty || e.page->IsPageDirty() == S_OK;
    m_apply->setEnabled(dirty && !m_gone);
}

HRESULT CPropertyFrame::ApplyAll()
{
    if (!ObjectInPlace()) {
        m_lastApply = VFW_E_NOT_IN_GRAPH;
        return m_lastApply;
    }
    HRESULT result = S_OK;
    for (PageEntry& e : m_pages) {
        const HRESULT hr = e.page->Apply();
        if (FAILED(hr) && SUCCEEDED(result))
            result = hr;
    }
    m_lastApply = result;
    if (FAILED(result))
        m_status->setText(QString("Apply failed (0x%1)").arg(uint32_t(result), 8, 16, QChar('0')));
    else if (!m_pages.empty())
        m_status->clear();
    UpdateApply();
    return result;
}

void CPropertyFrame::done(int result)
{
    ClosePages();
    QDialog::done(result);
}
