// How a Qt host gets at the player control's widget. The control is an
// in-process COM object (created by CoCreateInstance from its ProgID or
// CLSID) that shows its video in a QWidget of its own; a host asks the object
// for this interface and places the widget into its window.
//
// Threads: the Qt GUI thread only (the widget is a QWidget).
#pragma once

#include "com/unknown.h"

class QWidget;

// {FB1D6B96-92B4-4324-AD23-6E2524B2B899}
DEFINE_GUID(IID_ITvQtControl, 0xFB1D6B96, 0x92B4, 0x4324, 0xAD, 0x23, 0x6E, 0x25, 0x24, 0xB2, 0xB8,
            0x99);

class ITvQtControl : public IUnknown {
public:
    // The control's widget, created on the first call. The host may reparent
    // it into its own window or layout (QWidget::setParent); the control
    // keeps no ownership claim against that parent: when the parent deletes
    // the widget first, the control notices and works on without a window.
    // Otherwise the widget is deleted with the control (its last Release).
    // E_POINTER for a null out; E_FAIL when no Qt application exists.
    STDMETHOD(GetWidget)(QWidget** ppWidget) PURE;
};
