// Time control: the frame processor's jitter buffer. Processed pictures wait
// in a small queue; the delivery thread stamps each with a duration chosen by
// how full the queue is (the nominal frame interval when it holds between
// MinBufferCount and MaxBufferCount pictures, shorter above, longer below,
// half when it is full), so that live video plays at its frame rate, catches
// up after a burst and slows down before it runs dry.
//
// The settings come from the registry key HKEY_LOCAL_MACHINE\SOFTWARE\Tarvo,
// read once when a filter is made. Pure functions besides the registry read.
#pragma once

#include "win32/types.h"

struct TimeControlSettings {
    bool enabled = true;       // "bEnableTimeControl"
    LONG frameBufferCount = 5; // "FrameBufferCount": output buffers, 1 to 19
    LONG maxBufferCount = 2;   // "MaxBufferCount": above it the queue plays faster
    LONG minBufferCount = 0;   // "MinBufferCount": below it the queue plays slower
};

// Reads the four values (4 bytes each, whatever their registry type). A value
// outside its accepted range is ignored; then MaxBufferCount is clamped to
// 0 .. FrameBufferCount - 2 and MinBufferCount to 0 .. MaxBufferCount. With
// time control off the three counts keep their defaults. A missing key leaves
// every default.
TimeControlSettings ReadTimeControlSettings();

// The same rules applied to values already read (null: the value is missing).
TimeControlSettings ApplyTimeControlValues(const DWORD* enable, const DWORD* frameBufferCount,
                                           const DWORD* maxBufferCount,
                                           const DWORD* minBufferCount);

// The step divisor D: 13 for up to 12 buffers, 26 above.
LONG TimeControlDivisor(LONG frameBufferCount);

// The duration in milliseconds of a picture taken from a queue that held
// queued pictures (itself included), at the frame interval intervalMs.
LONG TimeControlDuration(const TimeControlSettings& settings, LONG intervalMs, LONG queued);
