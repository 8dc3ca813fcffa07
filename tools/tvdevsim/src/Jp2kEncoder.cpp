#include "Jp2kEncoder.h"

#include <openjpeg.h>

#include <algorithm>
#include <cstring>

namespace tvdevsim {

namespace {

struct MemoryStream {
    std::vector<uint8_t>* out;
    size_t position;
};

OPJ_SIZE_T WriteFn(void* buffer, OPJ_SIZE_T count, void* user)
{
    auto* m = static_cast<MemoryStream*>(user);
    if (m->position + count > m->out->size())
        m->out->resize(m->position + count);
    std::memcpy(m->out->data() + m->position, buffer, count);
    m->position += count;
    return count;
}

OPJ_OFF_T SkipFn(OPJ_OFF_T count, void* user)
{
    auto* m = static_cast<MemoryStream*>(user);
    if (count < 0 && static_cast<size_t>(-count) > m->position)
        return -1;
    m->position = static_cast<size_t>(static_cast<OPJ_OFF_T>(m->position) + count);
    if (m->position > m->out->size())
        m->out->resize(m->position);
    return count;
}

OPJ_BOOL SeekFn(OPJ_OFF_T position, void* user)
{
    auto* m = static_cast<MemoryStream*>(user);
    if (position < 0)
        return OPJ_FALSE;
    m->position = static_cast<size_t>(position);
    if (m->position > m->out->size())
        m->out->resize(m->position);
    return OPJ_TRUE;
}

} // namespace

bool EncodeJp2kCodestream(const YuvPicture& f, int compressionRatio, std::vector<uint8_t>& out,
                          std::string& error)
{
    const int cw = f.ChromaWidth();
    opj_image_cmptparm_t parms[3] = {};
    for (int c = 0; c < 3; ++c) {
        parms[c].dx = c == 0 ? 1 : 2;
        parms[c].dy = 1;
        parms[c].w = static_cast<OPJ_UINT32>(c == 0 ? f.width : cw);
        parms[c].h = static_cast<OPJ_UINT32>(f.height);
        parms[c].prec = 8;
        parms[c].sgnd = 0;
    }
    opj_image_t* image = opj_image_create(3, parms, OPJ_CLRSPC_SYCC);
    if (!image) {
        error = "OpenJPEG cannot create an image";
        return false;
    }
    image->x0 = 0;
    image->y0 = 0;
    image->x1 = static_cast<OPJ_UINT32>(f.width);
    image->y1 = static_cast<OPJ_UINT32>(f.height);
    for (int y = 0; y < f.height; ++y) {
        for (int x = 0; x < f.width; ++x)
            image->comps[0].data[y * f.width + x] = f.y[y * f.width + x];
        // 4:2:0 source rows to 4:2:2: each field row takes its chroma row.
        const int cy = std::min(f.ChromaHeight() - 1, y / 2);
        for (int x = 0; x < cw; ++x) {
            image->comps[1].data[y * cw + x] = f.u[cy * cw + x];
            image->comps[2].data[y * cw + x] = f.v[cy * cw + x];
        }
    }

    opj_cparameters_t params;
    opj_set_default_encoder_parameters(&params);
    params.tcp_numlayers = 1;
    params.tcp_rates[0] = static_cast<float>(compressionRatio);
    params.cp_disto_alloc = 1;
    params.irreversible = 1;
    params.tcp_mct = 0; // already YCbCr
    // Small fields cannot take the default 6 resolution levels.
    int levels = 1;
    while (levels < 5 && (f.width >> (levels + 1)) >= 8 && (f.height >> (levels + 1)) >= 8)
        ++levels;
    params.numresolution = levels;

    bool ok = false;
    opj_codec_t* codec = opj_create_compress(OPJ_CODEC_J2K);
    opj_stream_t* stream = nullptr;
    MemoryStream mem{&out, 0};
    out.clear();
    if (codec && opj_setup_encoder(codec, &params, image)) {
        stream = opj_stream_create(1 << 16, OPJ_FALSE);
        if (stream) {
            opj_stream_set_user_data(stream, &mem, nullptr);
            opj_stream_set_write_function(stream, WriteFn);
            opj_stream_set_skip_function(stream, SkipFn);
            opj_stream_set_seek_function(stream, SeekFn);
            ok = opj_start_compress(codec, image, stream) && opj_encode(codec, stream) &&
                 opj_end_compress(codec, stream);
        }
    }
    if (stream)
        opj_stream_destroy(stream);
    if (codec)
        opj_destroy_codec(codec);
    opj_image_destroy(image);
    if (!ok)
        error = "OpenJPEG cannot encode the field";
    return ok;
}

} // namespace tvdevsim
