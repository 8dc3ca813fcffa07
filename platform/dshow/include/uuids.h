// Class identifiers of the DirectShow system objects and the media type GUIDs the
// system names.
#pragma once

#include <objbase.h>

// The filter graph manager.
// {E436EBB3-524F-11CE-9F53-0020AF0BA770}
DEFINE_GUID(CLSID_FilterGraph, 0xe436ebb3, 0x524f, 0x11ce, 0x9f, 0x53, 0x00, 0x20, 0xaf, 0x0b, 0xa7,
            0x70);
// The asynchronous file reader ("File Async Reader"; IFileSourceFilter, IAsyncReader).
// {E436EBB5-524F-11CE-9F53-0020AF0BA770}
DEFINE_GUID(CLSID_AsyncReader, 0xe436ebb5, 0x524f, 0x11ce, 0x9f, 0x53, 0x00, 0x20, 0xaf, 0x0b, 0xa7,
            0x70);
// The DirectSound audio renderer.
// {79376820-07D0-11CF-A24D-0020AFD79767}
DEFINE_GUID(CLSID_DSoundRender, 0x79376820, 0x07d0, 0x11cf, 0xa2, 0x4d, 0x00, 0x20, 0xaf, 0xd7,
            0x97, 0x67);

// {73646976-0000-0010-8000-00AA00389B71} ('vids')
DEFINE_GUID(MEDIATYPE_Video, 0x73646976, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b,
            0x71);
// {73647561-0000-0010-8000-00AA00389B71} ('auds')
DEFINE_GUID(MEDIATYPE_Audio, 0x73647561, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b,
            0x71);
