// CColorAdjuster: brightness, contrast, saturation and hue of YUY2 frames
// (bytes Y0 U Y1 V), as the frame processor applies them to every output
// frame before drawing overlays.
//
// Settings are values 0 to 128 (64 neutral). Each is kept in an internal form
// (a gain or a signed offset byte) from which the setter derives everything
// the per-frame pass needs, so that the pass is only multiplies, shifts,
// compares and saturating adds. With all four neutral the pass returns at once.
//
// The methods named like IProcesserColor's have its contract, so that the
// filter can forward its interface to them one to one. Each is logged with its
// argument and result on the "processor" debug channel
// (TARVO_TRACE=processor).
//
// Threads: setters and getters on any thread (application, property page);
// Process on the streaming thread. A frame is processed with one consistent
// snapshot of all settings, taken when the frame starts.
#pragma once

#include "win32/types.h"

#include <cstddef>
#include <mutex>

class CColorAdjuster {
public:
    // The internal form of all four settings and the constants derived from it.
    struct State {
        BYTE brightness = 128; // gain b: luma x b / 128
        BYTE saturation = 128; // gain s: chroma around 128 x s / 128
        signed char contrast =
            0;                // c: > 0 stretches [c, 255 - c], < 0 compresses onto [|c|, 255 - |c|]
        signed char hue = 0;  // h: > 0 tints toward red, < 0 toward blue
        WORD absContrast = 0; // |c|
        WORD tableA = 256;    // table A at |c|
        WORD tableB = 0;      // table B at c (c > 0)
        WORD stretchLimit = 255; // 255 - 2c
        BYTE hueAdd[8] = {};     // laid over Y0 U Y1 V Y2 U Y3 V
        BYTE hueSub[8] = {};

        bool Neutral() const
        {
            return brightness == 128 && saturation == 128 && contrast == 0 && hue == 0;
        }
    };

    CColorAdjuster() = default;
    CColorAdjuster(const CColorAdjuster&) = delete;
    CColorAdjuster& operator=(const CColorAdjuster&) = delete;

    // IProcesserColor, in its slot order.
    HRESULT GetContrast(BYTE* value) const;
    HRESULT SetContrast(LONG value);
    HRESULT ResetContrast() { return SetContrast(64); }
    HRESULT GetBrightness(BYTE* value) const;
    HRESULT SetBrightness(LONG value);
    HRESULT ResetBrightness() { return SetBrightness(64); }
    HRESULT SetHue(LONG value);
    HRESULT GetHue(BYTE* value) const;
    HRESULT ResetHue() { return SetHue(64); }
    HRESULT SetSaturation(LONG value);
    HRESULT GetSaturation(BYTE* value) const;
    HRESULT ResetSaturation() { return SetSaturation(64); }

    // Adjusts pixelCount YUY2 pixels (2 bytes each) in place, never touching
    // more than frameBytes bytes. Streaming thread.
    void Process(BYTE* frame, size_t pixelCount, size_t frameBytes) const;

    // Copies bytes from src into dst (separate buffers) and adjusts the first
    // pixelCount pixels on the way: the same bytes as a copy followed by
    // Process, in one pass over the picture instead of two. Streaming thread.
    void ProcessCopy(const BYTE* src, BYTE* dst, size_t bytes, size_t pixelCount) const;

    // A copy of the current settings.
    State Snapshot() const;

    // The pass itself over pixelCount pixels: SSE2 (8 pixels per register),
    // AVX2 (16 pixels per register; falls back to SSE2 on a CPU without it),
    // AVX-512BW (32 pixels per register; falls back to AVX2) and the plain
    // version all must equal byte for byte. Process and ProcessCopy use the
    // widest the CPU has (ApplyBestTo).
    static void ApplySse2(const State& st, BYTE* frame, size_t pixelCount);
    static void ApplyAvx2(const State& st, BYTE* frame, size_t pixelCount);
    static void ApplyAvx512(const State& st, BYTE* frame, size_t pixelCount);
    // The same from src into dst (src == dst: in place).
    static void ApplySse2To(const State& st, const BYTE* src, BYTE* dst, size_t pixelCount);
    static void ApplyAvx2To(const State& st, const BYTE* src, BYTE* dst, size_t pixelCount);
    static void ApplyAvx512To(const State& st, const BYTE* src, BYTE* dst, size_t pixelCount);
    static void ApplyBestTo(const State& st, const BYTE* src, BYTE* dst, size_t pixelCount);
    static bool Avx2Supported();
    static bool Avx512Supported();
    static void ApplyScalar(const State& st, BYTE* frame, size_t pixelCount);

    // Conversions between the interface value and the internal form.
    static BYTE GainFromValue(LONG value);
    static BYTE ValueFromGain(BYTE gain);
    static signed char OffsetFromValue(LONG value);
    static BYTE ValueFromOffset(signed char offset);
    // Table A at |c| (0 to 127) and table B at c (0 to 127).
    static WORD TableA(int absContrast);
    static WORD TableB(int contrast);

private:
    // One getter or setter of IProcesserColor, traced: read gives the value
    // from a snapshot, write changes the state under m_lock.
    template <typename Read> HRESULT GetSetting(const char* name, BYTE* value, Read read) const;
    template <typename Write> HRESULT SetSetting(const char* name, LONG value, Write write);

    static void DeriveContrast(State& st);
    static void DeriveHue(State& st);

    mutable std::mutex m_lock; // guards m_state
    State m_state;
};
