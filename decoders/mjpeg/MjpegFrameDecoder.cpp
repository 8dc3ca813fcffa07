#include "MjpegFrameDecoder.h"

#include "MjpegDecTrace.h"

#include <jerror.h>

#include <algorithm>
#include <cstring>

namespace {

using Source = CMjpegFrameDecoder::Source;

const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

void InitSource(j_decompress_ptr cinfo)
{
    reinterpret_cast<Source*>(cinfo->src)->startOfFile = true;
}

boolean FillInputBuffer(j_decompress_ptr cinfo)
{
    auto* src = reinterpret_cast<Source*>(cinfo->src);
    if (src->startOfFile && src->length > 0) {
        src->pub.next_input_byte = src->data;
        src->pub.bytes_in_buffer = src->length;
        src->length = 0;
        src->startOfFile = false;
        return TRUE;
    }
    if (src->startOfFile)
        ERREXIT(cinfo, JERR_INPUT_EMPTY);
    // The frame ran out: end it here, so what arrived still makes a picture.
    WARNMS(cinfo, JWRN_JPEG_EOF);
    src->pub.next_input_byte = kEndOfImage;
    src->pub.bytes_in_buffer = sizeof kEndOfImage;
    return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count)
{
    if (count <= 0)
        return;
    auto* src = reinterpret_cast<Source*>(cinfo->src);
    while (count > static_cast<long>(src->pub.bytes_in_buffer)) {
        count -= static_cast<long>(src->pub.bytes_in_buffer);
        FillInputBuffer(cinfo);
    }
    src->pub.next_input_byte += count;
    src->pub.bytes_in_buffer -= static_cast<size_t>(count);
}

void TermSource(j_decompress_ptr) {}

// Points the decompression object at the frame: the source manager comes from
// the object's permanent pool the first time the object is used.
void SetMemorySource(j_decompress_ptr cinfo, const uint8_t* data, size_t length)
{
    if (!cinfo->src) {
        cinfo->src = static_cast<jpeg_source_mgr*>((*cinfo->mem->alloc_small)(
            reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(Source)));
    }
    auto* src = reinterpret_cast<Source*>(cinfo->src);
    src->pub.init_source = InitSource;
    src->pub.fill_input_buffer = FillInputBuffer;
    src->pub.skip_input_data = SkipInputData;
    src->pub.resync_to_restart = jpeg_resync_to_restart;
    src->pub.term_source = TermSource;
    src->pub.next_input_byte = nullptr;
    src->pub.bytes_in_buffer = 0;
    src->data = data;
    src->startOfFile = true;
    src->length = length;
}

} // namespace

CMjpegFrameDecoder::CMjpegFrameDecoder()
{
    jpeg_std_error(&m_error.pub);
    m_error.pub.error_exit = ErrorExit;
    m_error.pub.output_message = OutputMessage;
    m_error.owner = this;
    m_progress.progress_monitor = Progress;
}

CMjpegFrameDecoder::~CMjpegFrameDecoder() = default;

void CMjpegFrameDecoder::ErrorExit(j_common_ptr cinfo)
{
    auto* error = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, error->owner->m_lastError);
    std::longjmp(error->jump, 1);
}

void CMjpegFrameDecoder::OutputMessage(j_common_ptr cinfo)
{
    // Warnings about corrupt data come from the network: the trace channel,
    // never the process's standard error.
    if (!TvTraceEnabled("mjpegdec"))
        return;
    char text[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, text);
    MJPEGDEC_TRACE("%s", text);
}

void CMjpegFrameDecoder::Progress(j_common_ptr cinfo)
{
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (cinfo->is_decompressor && d->input_scan_number > kMaxScans) {
        // The scan count is not a library error: name it ourselves.
        auto* error = reinterpret_cast<ErrorManager*>(cinfo->err);
        std::snprintf(error->owner->m_lastError, sizeof error->owner->m_lastError,
                      "more than %d scans", kMaxScans);
        std::longjmp(error->jump, 1);
    }
}

void CMjpegFrameDecoder::Drop(const char* reason)
{
    std::snprintf(m_lastError, sizeof m_lastError, "%s", reason);
}

bool CMjpegFrameDecoder::Decode(std::span<const uint8_t> frame, int width, int height,
                                size_t stride, std::span<uint8_t> out, size_t* written)
{
    *written = 0;
    m_lastError[0] = '\0';
    if (width <= 0 || height <= 0 || stride < static_cast<size_t>(width) * 3) {
        Drop("no picture size agreed");
        return false;
    }
    Image top;
    if (!DecodeImage(frame, width, height, stride, out, Placement::FrameOrTopField, &top))
        return false;
    if (!top.field) {
        *written = top.rows * stride;
        return true;
    }
    // An interlaced frame: the bottom field's JPEG follows the top field's.
    // Woven, the two make the picture; without a bottom field that decodes,
    // each row of the top field fills the row below it as well.
    const size_t next = FindStartOfImage(frame, top.consumed);
    Image bottom;
    size_t rows = 0;
    if (next < frame.size() && DecodeImage(frame.subspan(next), width, height, stride, out,
                                           Placement::BottomField, &bottom)) {
        rows = std::min(2 * top.rows, 2 * bottom.rows + 1);
    } else {
        const size_t fit = out.size() / stride;
        for (size_t r = 0; r < top.rows && 2 * r + 1 < fit; ++r)
            std::memcpy(out.data() + (2 * r + 1) * stride, out.data() + 2 * r * stride,
                        static_cast<size_t>(width) * 3);
        rows = std::min(2 * top.rows, fit);
        m_lastError[0] = '\0';
    }
    *written = std::min<size_t>(rows, static_cast<size_t>(height)) * stride;
    return true;
}

size_t CMjpegFrameDecoder::FindStartOfImage(std::span<const uint8_t> frame, size_t from)
{
    for (size_t i = from; i + 2 < frame.size(); ++i)
        if (frame[i] == 0xFF && frame[i + 1] == 0xD8 && frame[i + 2] == 0xFF)
            return i;
    return frame.size();
}

bool CMjpegFrameDecoder::DecodeImage(std::span<const uint8_t> frame, int width, int height,
                                     size_t stride, std::span<uint8_t> out, Placement placement,
                                     Image* image)
{
    *image = Image{};
    // The jump target: a fatal error anywhere below comes back here with the
    // object half-way through a frame. Nothing with a destructor is alive
    // between here and the jump.
    m_cinfo.err = &m_error.pub;
    if (setjmp(m_error.jump)) {
        jpeg_destroy_decompress(&m_cinfo);
        MJPEGDEC_TRACE("frame of %zu bytes dropped: %s", frame.size(), m_lastError);
        return false;
    }
    jpeg_create_decompress(&m_cinfo);
    const bool decoded = DecodeRows(frame, width, height, stride, out, placement, image);
    jpeg_destroy_decompress(&m_cinfo);
    if (!decoded) {
        MJPEGDEC_TRACE("frame of %zu bytes dropped: %s", frame.size(), m_lastError);
        return false;
    }
    return true;
}

bool CMjpegFrameDecoder::DecodeRows(std::span<const uint8_t> frame, int width, int height,
                                    size_t stride, std::span<uint8_t> out, Placement placement,
                                    Image* image)
{
    j_decompress_ptr cinfo = &m_cinfo;
    cinfo->progress = &m_progress;
    SetMemorySource(cinfo, frame.data(), frame.size());
    if (jpeg_read_header(cinfo, TRUE) != JPEG_HEADER_OK) {
        Drop("no header");
        return false;
    }
    // A field has the agreed width and half the agreed height (the top field
    // the larger half of an odd height).
    const bool bottom = placement == Placement::BottomField;
    const JDIMENSION fieldHeight = static_cast<JDIMENSION>(bottom ? height / 2 : (height + 1) / 2);
    const bool whole = !bottom && cinfo->image_height == static_cast<JDIMENSION>(height);
    image->field = !whole;
    if (cinfo->image_width != static_cast<JDIMENSION>(width) ||
        (!whole && (height < 2 || cinfo->image_height != fieldHeight))) {
        std::snprintf(m_lastError, sizeof m_lastError, "picture %ux%u, not the agreed %dx%d",
                      cinfo->image_width, cinfo->image_height, width, height);
        return false;
    }
    // Straight to the renderer's byte order, whatever the frame's colour
    // space (grey pictures too); the library's accurate integer transform,
    // which its vector code makes about as fast as the approximate ones.
    cinfo->out_color_space = JCS_EXT_BGR;
    cinfo->dct_method = JDCT_ISLOW;
    jpeg_calc_output_dimensions(cinfo);
    jpeg_start_decompress(cinfo);
    // Row r goes to first + r * step; it fits when its whole stride does.
    const size_t step = image->field ? 2 * stride : stride;
    const size_t first = bottom ? stride : 0;
    const size_t fit = out.size() >= first + stride ? (out.size() - first - stride) / step + 1 : 0;
    const size_t wanted = std::min<size_t>(cinfo->output_height, fit);
    JSAMPROW rowPointers[16];
    while (cinfo->output_scanline < wanted) {
        const size_t at = cinfo->output_scanline;
        const size_t n = std::min<size_t>(
            {wanted - at, std::size(rowPointers), static_cast<size_t>(cinfo->rec_outbuf_height)});
        for (size_t i = 0; i < n; ++i)
            rowPointers[i] = out.data() + first + (at + i) * step;
        if (jpeg_read_scanlines(cinfo, rowPointers, static_cast<JDIMENSION>(n)) == 0)
            break;
    }
    image->rows = cinfo->output_scanline;
    if (cinfo->output_scanline < cinfo->output_height) {
        jpeg_abort_decompress(cinfo); // the rest does not fit: keep what does
        image->consumed = frame.size();
        return true;
    }
    jpeg_finish_decompress(cinfo);
    // Where the image ended in the frame: after its end-of-image marker, or
    // the whole frame when the marker had to be made up.
    const JOCTET* next = cinfo->src->next_input_byte;
    image->consumed = next >= frame.data() && next <= frame.data() + frame.size()
                          ? static_cast<size_t>(next - frame.data())
                          : frame.size();
    return true;
}
