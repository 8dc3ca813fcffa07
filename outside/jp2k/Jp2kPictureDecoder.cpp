#include "Jp2kPictureDecoder.h"

#include "ColorConvert.h"
#include "win32/trace.h"

#include <openjpeg.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// OpenJPEG reads the codestream from memory.
struct MemoryReader {
    const uint8_t* data;
    size_t size;
    size_t position;
};

OPJ_SIZE_T ReadFn(void* buffer, OPJ_SIZE_T count, void* user)
{
    auto* m = static_cast<MemoryReader*>(user);
    if (m->position >= m->size)
        return static_cast<OPJ_SIZE_T>(-1);
    const size_t n = std::min<size_t>(count, m->size - m->position);
    std::memcpy(buffer, m->data + m->position, n);
    m->position += n;
    return n;
}

OPJ_OFF_T SkipFn(OPJ_OFF_T count, void* user)
{
    auto* m = static_cast<MemoryReader*>(user);
    if (count < 0) {
        if (static_cast<size_t>(-count) > m->position)
            return -1;
        m->position -= static_cast<size_t>(-count);
        return count;
    }
    const size_t n = std::min<size_t>(static_cast<size_t>(count), m->size - m->position);
    m->position += n;
    return static_cast<OPJ_OFF_T>(n);
}

OPJ_BOOL SeekFn(OPJ_OFF_T position, void* user)
{
    auto* m = static_cast<MemoryReader*>(user);
    if (position < 0 || static_cast<size_t>(position) > m->size)
        return OPJ_FALSE;
    m->position = static_cast<size_t>(position);
    return OPJ_TRUE;
}

void QuietHandler(const char*, void*) {}

void ErrorHandler(const char* message, void*)
{
    TV_TRACE("jp2kdec", "OpenJPEG: %s", message);
}

struct CodecDeleter {
    void operator()(opj_codec_t* c) const { opj_destroy_codec(c); }
};
struct StreamDeleter {
    void operator()(opj_stream_t* s) const { opj_stream_destroy(s); }
};

// The fewest resolutions (wavelet levels + 1) any component of the main
// header has; 1 when OpenJPEG cannot say.
int FewestResolutions(opj_codec_t* codec, OPJ_UINT32 components)
{
    opj_codestream_info_v2_t* info = opj_get_cstr_info(codec);
    if (!info)
        return 1;
    OPJ_UINT32 fewest = 0;
    if (info->m_default_tile_info.tccp_info && info->nbcomps >= components)
        for (OPJ_UINT32 i = 0; i < components; ++i) {
            const OPJ_UINT32 n = info->m_default_tile_info.tccp_info[i].numresolutions;
            fewest = i == 0 ? n : std::min(fewest, n);
        }
    opj_destroy_cstr_info(&info);
    return static_cast<int>(std::clamp<OPJ_UINT32>(fewest, 1, 33));
}

bool ComponentUsable(const opj_image_comp_t& c)
{
    return c.w >= 1 && c.h >= 1 && c.w <= CJp2kPictureDecoder::kMaxFieldSide &&
           c.h <= CJp2kPictureDecoder::kMaxFieldSide && c.dx >= 1 && c.dy >= 1 && c.prec >= 1 &&
           c.prec <= 16;
}

// How to turn a component's samples into 8-bit values.
struct Scale {
    int offset = 0; // added first (signed samples)
    int shift = 0;  // right shift (> 0) or left shift (< 0)

    explicit Scale(const opj_image_comp_t& c)
        : offset(c.sgnd ? 1 << (c.prec - 1) : 0), shift(static_cast<int>(c.prec) - 8)
    {
    }
    uint8_t operator()(int v) const
    {
        v += offset;
        v = shift >= 0 ? v >> shift : v << -shift;
        return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
    }
};

enum class Layout { Grey, YCbCr, Rgb };

Layout LayoutOf(const opj_image_t* image)
{
    if (image->numcomps < 3)
        return Layout::Grey;
    const opj_image_comp_t* c = image->comps;
    const bool fullChroma =
        c[1].w == c[0].w && c[1].h == c[0].h && c[2].w == c[0].w && c[2].h == c[0].h;
    const bool saysYcc =
        image->color_space == OPJ_CLRSPC_SYCC || image->color_space == OPJ_CLRSPC_EYCC;
    return fullChroma && !saysYcc ? Layout::Rgb : Layout::YCbCr;
}

// One row of a field as YUY2 pixel pairs; an odd last pixel is paired with
// itself.
void FieldRowToYuy2(const opj_image_t* image, int row, uint8_t* dst)
{
    const opj_image_comp_t& luma = image->comps[0];
    const int width = static_cast<int>(luma.w);
    const int height = static_cast<int>(luma.h);
    const OPJ_INT32* y = luma.data + static_cast<size_t>(row) * luma.w;
    const Scale sy(luma);
    const Layout layout = LayoutOf(image);
    if (layout == Layout::Grey) {
        for (int x = 0; x < width; x += 2) {
            dst[2 * x] = sy(y[x]);
            dst[2 * x + 1] = 128;
            dst[2 * x + 2] = sy(y[x + 1 < width ? x + 1 : x]);
            dst[2 * x + 3] = 128;
        }
        return;
    }
    const opj_image_comp_t& cb = image->comps[1];
    const opj_image_comp_t& cr = image->comps[2];
    if (layout == Layout::Rgb) {
        // As the colour-space converter turns RGB24 into YUY2.
        thread_local std::vector<uint8_t> bgr;
        bgr.resize(static_cast<size_t>(width) * 3);
        const OPJ_INT32* g = cb.data + static_cast<size_t>(row) * cb.w;
        const OPJ_INT32* b = cr.data + static_cast<size_t>(row) * cr.w;
        const Scale sg(cb), sb(cr);
        for (int x = 0; x < width; ++x) {
            bgr[3 * x] = sb(b[x]);
            bgr[3 * x + 1] = sg(g[x]);
            bgr[3 * x + 2] = sy(y[x]);
        }
        Bgr24ToYuy2(bgr.data(), 0, width, 1, dst, 0);
        return;
    }
    // Chroma of each pixel pair at its position in the (subsampled) planes.
    const size_t cbRow = static_cast<size_t>(std::min<int64_t>(cb.h - 1, static_cast<int64_t>(row) *
                                                                             cb.h / height)) *
                         cb.w;
    const size_t crRow = static_cast<size_t>(std::min<int64_t>(cr.h - 1, static_cast<int64_t>(row) *
                                                                             cr.h / height)) *
                         cr.w;
    const Scale su(cb), sv(cr);
    for (int x = 0; x < width; x += 2) {
        const size_t cbx = std::min<size_t>(cb.w - 1, static_cast<size_t>(x) * cb.w / width);
        const size_t crx = std::min<size_t>(cr.w - 1, static_cast<size_t>(x) * cr.w / width);
        dst[2 * x] = sy(y[x]);
        dst[2 * x + 1] = su(cb.data[cbRow + cbx]);
        dst[2 * x + 2] = sy(y[x + 1 < width ? x + 1 : x]);
        dst[2 * x + 3] = sv(cr.data[crRow + crx]);
    }
}

} // namespace

void CJp2kPictureDecoder::ImageDeleter::operator()(opj_image* image) const
{
    opj_image_destroy(image);
}

CJp2kPictureDecoder::CJp2kPictureDecoder() = default;
CJp2kPictureDecoder::~CJp2kPictureDecoder() = default;

void CJp2kPictureDecoder::ReducedPictureSize(int fieldWidth, int fieldHeight, int reduceLevel,
                                             int* width, int* height)
{
    const int r = std::clamp(reduceLevel, 0, kJp2kMaxReduceLevel);
    *width = (fieldWidth + (1 << r) - 1) >> r;
    *height = 2 * ((fieldHeight + (1 << r) - 1) >> r);
}

bool CJp2kPictureDecoder::Usable(const opj_image* image)
{
    if (!image || image->numcomps < 1 || image->numcomps > 4)
        return false;
    const unsigned used = image->numcomps >= 3 ? 3 : 1;
    for (unsigned i = 0; i < used; ++i)
        if (!ComponentUsable(image->comps[i]) || !image->comps[i].data)
            return false;
    return true;
}

CJp2kPictureDecoder::Image CJp2kPictureDecoder::DecodeField(std::span<const uint8_t> codestream,
                                                            int reduceLevel)
{
    if (codestream.empty())
        return nullptr;
    std::unique_ptr<opj_codec_t, CodecDeleter> codec(opj_create_decompress(OPJ_CODEC_J2K));
    if (!codec)
        return nullptr;
    opj_set_info_handler(codec.get(), QuietHandler, nullptr);
    opj_set_warning_handler(codec.get(), QuietHandler, nullptr);
    opj_set_error_handler(codec.get(), ErrorHandler, nullptr);
    opj_dparameters_t params;
    opj_set_default_decoder_parameters(&params);
    if (!opj_setup_decoder(codec.get(), &params))
        return nullptr;

    MemoryReader reader{codestream.data(), codestream.size(), 0};
    std::unique_ptr<opj_stream_t, StreamDeleter> stream(opj_stream_create(65536, OPJ_TRUE));
    if (!stream)
        return nullptr;
    opj_stream_set_user_data(stream.get(), &reader, nullptr);
    opj_stream_set_user_data_length(stream.get(), codestream.size());
    opj_stream_set_read_function(stream.get(), ReadFn);
    opj_stream_set_skip_function(stream.get(), SkipFn);
    opj_stream_set_seek_function(stream.get(), SeekFn);

    opj_image_t* raw = nullptr;
    const bool header = opj_read_header(stream.get(), codec.get(), &raw);
    Image image(raw);
    if (!header || !image)
        return nullptr;
    // Refuse what would make OpenJPEG allocate without bound.
    if (image->numcomps < 1 || image->numcomps > 4 || image->x1 <= image->x0 ||
        image->y1 <= image->y0 || image->x1 - image->x0 > kMaxFieldSide ||
        image->y1 - image->y0 > kMaxFieldSide)
        return nullptr;
    for (OPJ_UINT32 i = 0; i < image->numcomps; ++i)
        if (!ComponentUsable(image->comps[i]))
            return nullptr;
    // A codestream with fewer wavelet levels than asked for is decoded at
    // its smallest. The factor is fitted to the levels first: OpenJPEG can
    // refuse a factor after changing part of the image, and decoding after
    // that reads memory it does not own.
    const int reduce = std::min(std::clamp(reduceLevel, 0, kJp2kMaxReduceLevel),
                                FewestResolutions(codec.get(), image->numcomps) - 1);
    if (reduce > 0 &&
        !opj_set_decoded_resolution_factor(codec.get(), static_cast<OPJ_UINT32>(reduce)))
        return nullptr;
    if (!opj_decode(codec.get(), stream.get(), image.get()) ||
        !opj_end_decompress(codec.get(), stream.get()))
        return nullptr;
    if (!Usable(image.get()))
        return nullptr;
    return image;
}

bool CJp2kPictureDecoder::Decode(const Jp2kFieldPair& pair, int reduceLevel)
{
    m_second.reset();
    m_width = m_height = m_fieldWidth = m_fieldHeight = 0;
    m_first = DecodeField(pair.firstCodestream, reduceLevel);
    if (!m_first)
        return false;
    if (pair.hasSecond) {
        m_second = DecodeField(pair.secondCodestream, reduceLevel);
        // The second field must line up with the first.
        if (m_second && (m_second->comps[0].w != m_first->comps[0].w ||
                         LayoutOf(m_second.get()) != LayoutOf(m_first.get())))
            m_second.reset();
    }
    m_width = static_cast<int>(m_first->comps[0].w);
    m_height = 2 * static_cast<int>(m_first->comps[0].h);
    m_fieldWidth = static_cast<int>(m_first->x1 - m_first->x0);
    m_fieldHeight = static_cast<int>(m_first->y1 - m_first->y0);
    return true;
}

void CJp2kPictureDecoder::WriteYuy2(uint8_t* dst, ptrdiff_t dstStride) const
{
    if (!m_first || !dst)
        return;
    const int fieldRows = m_height / 2;
    const int secondRows = m_second ? static_cast<int>(m_second->comps[0].h) : 0;
    const size_t rowBytes = static_cast<size_t>(m_width + 1) / 2 * 4;
    for (int r = 0; r < fieldRows; ++r) {
        uint8_t* even = dst + 2 * r * dstStride;
        uint8_t* odd = even + dstStride;
        FieldRowToYuy2(m_first.get(), r, even);
        if (r < secondRows)
            FieldRowToYuy2(m_second.get(), r, odd);
        else
            std::memcpy(odd, even, rowBytes);
    }
}
