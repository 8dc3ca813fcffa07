// The device voice decoder library: turns one device voice frame (the payload
// behind a DeviceFrameHeader whose voice flag is set, laid out as
// common/include/VoiceFrame.h describes) into 16-bit PCM, 8000 Hz mono.
// G.711 mu-law, G.711 A-law and IMA ADPCM are decoded with libavcodec.
//
//   HI_VOICE_DecReset     makes a caller-owned state ready; call it once before
//                         the first frame (and again to start over).
//   HI_VOICE_DecodeFrame  decodes one frame into the caller's sample buffer.
//
// The state is an area the caller owns (a member of its own object): the
// library keeps nothing of its own between calls, allocates nothing that
// outlives a call, and needs no destroy call.
//
// Threads: one state is used by one thread at a time; different states are
// independent, so the splitter's live path and each record-file parser may
// decode at the same time.
#pragma once

#include <cstdint>

extern "C" {

// Opaque to the caller: only HI_VOICE_DecReset gives it meaning. 64 bytes.
struct HI_VOICE_DEC_STATE {
    uint32_t words[16];
};

// Mode of HI_VOICE_DecReset: decode device voice frames (the only mode).
#define HI_VOICE_RESET_DECODE 1

// Results of both calls.
#define HI_VOICE_OK 0
#define HI_VOICE_ERR_ARG (-1)   // a null pointer, or a mode other than HI_VOICE_RESET_DECODE
#define HI_VOICE_ERR_STATE (-2) // the state was never reset
#define HI_VOICE_ERR_FRAME                                                                         \
    (-3)                         // not a voice frame: bad marker, unknown codec, a sample
                                 // count or codec length that does not match, or codec
                                 // bytes beyond the frame length given
#define HI_VOICE_ERR_SPACE (-4)  // the frame's samples do not fit the room given
#define HI_VOICE_ERR_DECODE (-5) // the codec refused the bytes

// The most samples one frame decodes to: a caller that offers this much room
// takes every valid frame.
#define HI_VOICE_MAX_FRAME_SAMPLES 800

// Prepares state (mode HI_VOICE_RESET_DECODE) and returns HI_VOICE_OK.
int32_t HI_VOICE_DecReset(HI_VOICE_DEC_STATE* state, int32_t mode);

// Decodes the voice frame at frame (frameLength bytes available there: the
// payload behind the device header; trailing bytes after the frame's codec
// bytes are ignored) into output.
//
// *sampleCount, on entry, is the room at output in 16-bit samples; a frame
// that needs more is refused with HI_VOICE_ERR_SPACE and nothing is written,
// so 0 refuses every frame. On HI_VOICE_OK the low 16 bits of *sampleCount
// are the number of samples written (1..800) and the high 16 bits are 0; on
// every failure *sampleCount is 0 and the caller drops the frame.
int32_t HI_VOICE_DecodeFrame(HI_VOICE_DEC_STATE* state, const uint8_t* frame, uint32_t frameLength,
                             int16_t* output, uint32_t* sampleCount);

} // extern "C"
