// What OLE controls share: the colour type of their properties, the About
// box's DISPID and the miscellaneous status bits a control registers.
#pragma once

#include "ocidl.h"

// 0x00BBGGRR, as COLORREF; 0x80000000 | index names a system colour.
typedef DWORD OLE_COLOR;

#define DISPID_ABOUTBOX (-552)
#define DISPID_BACKCOLOR (-501)

// HKEY_CLASSES_ROOT\CLSID\{clsid}\MiscStatus, as a decimal string.
#define OLEMISC_RECOMPOSEONRESIZE 0x00000001
#define OLEMISC_CANTLINKINSIDE 0x00000010
#define OLEMISC_INSIDEOUT 0x00000080
#define OLEMISC_ACTIVATEWHENVISIBLE 0x00000100
#define OLEMISC_SETCLIENTSITEFIRST 0x00020000
