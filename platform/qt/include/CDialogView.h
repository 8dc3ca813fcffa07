// CDialogView: one dialog model (win32/dialog.h) as Qt widgets. Each control of
// the template becomes a widget at its place (dialog units scaled by the
// font); the model's changes are shown as they happen, and what a person does
// goes to the model as a user's action (TvDlgUser*), which notifies the page.
// Widgets are named "control-<id>" for tests and scripts.
//
// Threads: the Qt GUI thread; the page's logic runs there, inside the
// widgets' signal handlers.
#pragma once

#include <QWidget>

#include <functional>
#include <map>

#include "win32/dialog.h"

class CDialogView : public QWidget {
public:
    // The dialog must outlive the view or be destroyed after Detach().
    CDialogView(HWND dialog, QWidget* parent = nullptr);
    ~CDialogView() override;

    // Stops listening to the model (before the dialog goes).
    void Detach();
    // Asked before each user's action goes to the model; when it answers
    // false the action is dropped and the widget shows the model again.
    void SetActionGuard(std::function<bool()> guard) { m_guard = std::move(guard); }
    HWND Dialog() const { return m_dialog; }

private:
    static void OnModelChange(HWND dialog, int id, void* user);
    // Shows the control's state in its widget.
    void Refresh(int id);
    // Whether a user's action on control id may reach the model now.
    bool Accepts(int id);

    HWND m_dialog;
    std::map<int, QWidget*> m_widgets;
    bool m_refreshing = false; // widget updates from the model are not a user's
    std::function<bool()> m_guard;
};
