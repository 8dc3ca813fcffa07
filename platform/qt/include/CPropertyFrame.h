// CPropertyFrame: the property frame of an object (a filter): one tab per page
// that the object lists through ISpecifyPropertyPages, each page shown through
// its dialog model, with "OK", "Cancel" and "Apply" under them.
//
// Apply (enabled while a page reports a change) applies every dirty page; OK
// applies and closes, Cancel closes. A page that fails to apply keeps the
// frame open and shows the failure. A filter that was in a graph when the
// frame opened and has left it since (removed, or its graph closed) takes
// nothing more: Apply and OK fail with VFW_E_NOT_IN_GRAPH, the pages stop
// taking input and the frame says why; Cancel still closes. Closing
// deactivates and releases every page.
//
// Threads: the Qt GUI thread.
#pragma once

#include <QDialog>

#include <vector>

#include <cprop.h>

class CDialogView;
class QLabel;
class QPushButton;
class QTabWidget;

class CPropertyFrame : public QDialog {
public:
    // Opens the pages of `object`; PageCount() is 0 when it has none.
    explicit CPropertyFrame(IUnknown* object, const QString& caption = QString(),
                            QWidget* parent = nullptr);
    ~CPropertyFrame() override;

    int PageCount() const { return int(m_pages.size()); }
    IPropertyPage* Page(int index) const { return m_pages[size_t(index)].page; }
    // The result of the last Apply (S_OK before any).
    HRESULT LastApplyResult() const { return m_lastApply; }

    // Applies every dirty page; the first failure is returned and shown.
    HRESULT ApplyAll();
    // False once the object, a filter that was in a graph, is in it no more
    // (the pages are then disabled and the reason shown).
    bool ObjectInPlace();

private:
    class CSite;
    struct PageEntry {
        IPropertyPage* page = nullptr;
        CDialogView* view = nullptr;
    };
    void OpenPages(IUnknown* object);
    void ClosePages();
    void UpdateApply();
    void done(int result) override;

    std::vector<PageEntry> m_pages;
    // The object as a filter (owned; null for other objects) and the graph it
    // was in when the frame opened (identity only, not held: holding it would
    // keep a closed graph alive).
    IBaseFilter* m_filter = nullptr;
    IFilterGraph* m_graph = nullptr;
    bool m_gone = false;
    CSite* m_site = nullptr;
    QTabWidget* m_tabs = nullptr;
    QPushButton* m_apply = nullptr;
    QLabel* m_status = nullptr;
    HRESULT m_lastApply = S_OK;
};
