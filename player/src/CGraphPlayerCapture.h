// The file rules of picture capture and recording: the YUY2 picture to a
// 24-bit BMP file, and the names a recording is made under. Pure routines
// (no graph, no files), used by CGraphPlayer::GrabPicture,
// CStreamPlayer::StartRecord and the TP_ functions in front of them.
#pragma once

#include <cstddef>
#include <string>

#include "win32/types.h"

// Size of the two BMP headers (file header 14 bytes, information header 40).
inline constexpr size_t kBmpHeadersSize = 54;
// A record path holds at most this many characters (a 260-byte buffer).
inline constexpr size_t kRecordPathMax = 259;

// Converts a YUY2 picture (width x 2 bytes a row, top row first) into
// width x height BGR pixels, 3 bytes each, rows not padded, the last picture
// row first (a bottom-up BMP). BT.601 studio range; each pixel pair shares its
// U and V. width must be even and positive (so YUY2 rows need no padding),
// height positive.
void Yuy2ToBottomUpBgr(const BYTE* yuy2, int width, int height, BYTE* bgr);

// The 54 header bytes of a BMP file of width x height 24-bit pixels whose
// rows are not padded: "BM", file size 54 + width x height x 3, pixel offset
// 54, information header size 40, one plane, 24 bits, everything else 0.
void BmpHeaders(int width, int height, BYTE headers[kBmpHeadersSize]);

// directory and name joined with exactly one separator between them ('\\'
// unless either side brings one).
std::string JoinRecordPath(const char* directory, const char* name);

// The file a recording of directory\\name goes into: the name's extension
// becomes extension ("cam1.avi" -> "cam1.tvx"; a name without one gets
// ".tvx"). A path longer than kRecordPathMax is cut so that the extension
// still fits. The control's device recorders ask for ".mp4".
std::string RecordFilePath(const char* directory, const char* name, const char* extension = ".tvx");
