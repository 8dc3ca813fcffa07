// CPropertyFrame: the property frame of an object (a filter): one tab per page
// that the object lists through ISpecifyPropertyPages, each page shown through
// its dialog model, with "OK", "Cancel" and "Apply" under them.
//
// Apply (enabled while a page reports a change) applies every dirty page; OK
// applies and closes, Cancel closes. A page that fails to apply keeps the
// frame open and shows the failure; an object that went away from its graph
// is still the object the pages hold, so applying to it never crashes.
// Closing deactivates and releases every page.
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
    CSite* m_site = nullptr;
    QTabWidget* m_tabs = nullptr;
    QPushButton* m_apply = nullptr;
    QLabel* m_status = nullptr;
    HRESULT m_lastApply = S_OK;
};
