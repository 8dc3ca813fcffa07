// What a record file's frame becomes when it is read for delivery: the byte
// span of one indexed frame, taken apart per stream family into the video
// bytes the decoder gets and the audio bytes the audio pin gets.
//
// Pure functions over caller-owned bytes; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

// ---- device streams (DeviceFrameHeaders with video and voice payloads) ----

// Called with each voice payload met in a frame, in order.
using VoicePayloadFn = std::function<void(std::span<const uint8_t> payload)>;

// Walks the span in place: the bytes up to each ">>>>" and the payloads of
// video headers are video and are moved to the front; the payload of a voice
// header goes to onVoice (dropped when it is empty). Headers need 41 bytes
// left in the span; a payload length below 0 or above 0x100000 ends the walk,
// keeping what was collected (the whole span when nothing was). Returns the
// video length at the span's start.
size_t WalkDeviceFrame(std::span<uint8_t> span, const VoicePayloadFn& onVoice);

// ---- QBox ----

struct QBoxSpanContents {
    int64_t timestamp = 0; // of the last video box, 100-ns units; 0 without one
    size_t videoBoxes = 0;
};

// Every box of the span taken apart: H.264 boxes appended to video in start-code
// form (00 00 00 01 in place of each NAL length), AAC boxes behind a valid
// "qmed" header appended to audio as ADTS frames while audio stays within
// maxAudio bytes. Incomplete and other boxes are passed over.
QBoxSpanContents UnpackQBoxH264Span(std::span<const uint8_t> span, std::vector<uint8_t>& video,
                                    std::vector<uint8_t>& audio, size_t maxAudio);

// The first JPEG box of the span is the frame: jpegOffset/jpegLength locate
// its media (after the 16 extra header bytes when the box has them; at least 4
// bytes) in the span. AAC boxes go to audio as for H.264. jpegLength is 0
// without a JPEG box.
QBoxSpanContents UnpackQBoxMjpegSpan(std::span<const uint8_t> span, size_t& jpegOffset,
                                     size_t& jpegLength, std::vector<uint8_t>& audio,
                                     size_t maxAudio);

// ---- JPEG 2000 ----

// The bytes of a JPEG 2000 frame at the span's start: both fields with their
// headers when they pair up inside the span, else the whole span; 0 when the
// span does not start with ">>>>". timeUs gets the first field's capture time.
size_t JP2KFrameExtent(std::span<const uint8_t> span, int64_t& timeUs);
