// The device H.264 decoder library over libavcodec (one decoding thread per
// stream).
#include "Hi264Dec.h"

#include "H264PictureSplitter.h"

#include <cstring>
#include <deque>
#include <map>
#include <new>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

namespace {

// What the splitter saw of a picture, found again by the packet's pts when
// libavcodec hands the picture out.
struct PictureInfo {
    bool field = false;
    bool intraTop = false;
    bool intraBottom = false;
};

// One picture record waiting to be handed out.
struct PendingPicture {
    AVFrame* frame = nullptr; // a reference of its own
    uint32_t structure = 0;
    bool intra = false;
};

struct Decoder {
    AVCodecContext* ctx = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    CH264PictureSplitter splitter;
    std::vector<H264PictureUnit> units;
    std::map<int64_t, PictureInfo> infos; // by packet pts
    int64_t nextPts = 0;
    // The first field of a field pair waits here for its second field.
    bool openField = false;
    int64_t openFieldPts = 0;
    bool openFieldBottom = false;
    uint32_t openFieldFrameNum = 0;
    std::deque<PendingPicture> pending;
    AVFrame* current = nullptr; // the picture last handed out (planes in use)
    bool waitForIntra = false;  // after an error: hand out nothing until intra
    // The pieces of a picture sent in several device frames, gathered until
    // its last piece.
    std::vector<uint8_t> gathered;
    // A stream that comes in pieces starting anywhere in a picture (a
    // transport packet's payload, an elementary stream cut where the bytes
    // ran out) is taken as one byte run: its last picture waits here until
    // the next one begins. Device frames, whole pictures each, never start
    // this.
    bool fedBefore = false;
    bool byteRun = false;
    std::vector<uint8_t> run;
};

// A device frame header in front of the bytes: its size, and whether the
// picture goes on in the next frame (a 40-byte header's 16-bit total length
// is full: the encoder cut a larger picture into pieces).
size_t DeviceHeader(const uint8_t* data, uint32_t length, bool* moreFollows)
{
    *moreFollows = false;
    if (length < 40 || std::memcmp(data, ">>>>", 4) != 0)
        return 0;
    const int layout = data[5] >> 4;
    if (layout == 1) {
        *moreFollows = (data[14] | (data[15] << 8)) == 0xFFFF;
        return 40;
    }
    return layout == 2 ? 36 : 0;
}

bool StartsWithStartCode(const uint8_t* p, size_t n)
{
    return (n >= 3 && p[0] == 0 && p[1] == 0 && p[2] == 1) ||
           (n >= 4 && p[0] == 0 && p[1] == 0 && p[2] == 0 && p[3] == 1);
}

void ReleaseCurrent(Decoder* d)
{
    if (d->current)
        av_frame_free(&d->current);
}

void ClearPending(Decoder* d)
{
    for (PendingPicture& p : d->pending)
        av_frame_free(&p.frame);
    d->pending.clear();
}

// Remember what the splitter knows of this picture under a new pts; the second
// field of a pair joins its first field's entry.
int64_t NotePicture(Decoder* d, const H264PictureUnit& unit)
{
    const int64_t pts = d->nextPts++;
    if (!unit.hasSlice)
        return pts;
    if (unit.known && unit.field && d->openField && unit.bottom != d->openFieldBottom &&
        unit.frameNum == d->openFieldFrameNum) {
        PictureInfo& info = d->infos[d->openFieldPts];
        (unit.bottom ? info.intraBottom : info.intraTop) = unit.intra;
        d->openField = false;
        return pts;
    }
    PictureInfo info;
    info.field = unit.known && unit.field;
    info.intraTop = unit.intra;
    info.intraBottom = unit.intra;
    d->infos[pts] = info;
    d->openField = info.field;
    d->openFieldPts = pts;
    d->openFieldBottom = unit.bottom;
    d->openFieldFrameNum = unit.frameNum;
    // Entries of pictures the decoder dropped must not pile up.
    while (d->infos.size() > 64)
        d->infos.erase(d->infos.begin());
    return pts;
}

bool UsableFormat(const AVFrame* f)
{
    return (f->format == AV_PIX_FMT_YUV420P || f->format == AV_PIX_FMT_YUVJ420P) && f->width > 0 &&
           f->height > 0 && f->data[0] && f->data[1] && f->data[2] && f->linesize[0] > 0 &&
           f->linesize[1] > 0;
}

// Moves the pictures libavcodec has finished into the pending list; false when
// one of them was damaged.
bool CollectPictures(Decoder* d)
{
    bool damaged = false;
    while (avcodec_receive_frame(d->ctx, d->frame) == 0) {
        PictureInfo info;
        auto it = d->infos.find(d->frame->pts);
        if (it != d->infos.end()) {
            info = it->second;
            d->infos.erase(d->infos.begin(), std::next(it));
        }
        const bool corrupt =
            d->frame->decode_error_flags != 0 || (d->frame->flags & AV_FRAME_FLAG_CORRUPT) != 0;
        const bool intra = info.intraTop && info.intraBottom;
        if (corrupt) {
            damaged = true;
            d->waitForIntra = true;
        } else if (d->waitForIntra && intra) {
            d->waitForIntra = false;
        }
        if (corrupt || d->waitForIntra || !UsableFormat(d->frame) ||
            (info.field && d->frame->height < 2)) {
            av_frame_unref(d->frame);
            continue;
        }
        if (info.field) {
            for (uint32_t structure = 1; structure <= 2; ++structure) {
                PendingPicture p;
                p.frame = av_frame_clone(d->frame);
                if (!p.frame)
                    break;
                p.structure = structure;
                p.intra = structure == 1 ? info.intraTop : info.intraBottom;
                d->pending.push_back(p);
            }
        } else {
            PendingPicture p;
            p.frame = av_frame_clone(d->frame);
            p.intra = info.intraTop;
            if (p.frame)
                d->pending.push_back(p);
        }
        av_frame_unref(d->frame);
    }
    return !damaged;
}

void FillRecord(const PendingPicture& p, Hi264DecPicture* out)
{
    std::memset(out, 0, sizeof *out);
    const AVFrame* f = p.frame;
    if (p.structure == 0) {
        out->y = f->data[0];
        out->u = f->data[1];
        out->v = f->data[2];
        out->height = static_cast<uint32_t>(f->height);
        out->yStride = static_cast<uint32_t>(f->linesize[0]);
        out->uvStride = static_cast<uint32_t>(f->linesize[1]);
    } else {
        // A field is every second row of the woven frame.
        const int bottom = p.structure == 2 ? 1 : 0;
        out->y = f->data[0] + bottom * f->linesize[0];
        out->u = f->data[1] + bottom * f->linesize[1];
        out->v = f->data[2] + bottom * f->linesize[2];
        out->height = static_cast<uint32_t>(f->height / 2);
        out->yStride = static_cast<uint32_t>(2 * f->linesize[0]);
        out->uvStride = static_cast<uint32_t>(2 * f->linesize[1]);
    }
    out->width = static_cast<uint32_t>(f->width);
    out->structure = p.structure;
    out->notIntra = p.intra ? 0u : 1u;
}

int32_t HandOut(Decoder* d, Hi264DecPicture* picture, int32_t none)
{
    if (d->pending.empty())
        return none;
    PendingPicture p = d->pending.front();
    d->pending.pop_front();
    d->current = p.frame;
    FillRecord(p, picture);
    return HI264DEC_OK;
}

// Sends the first count units of d->units to libavcodec and collects what
// comes out; false when something was refused or broken.
bool DecodeUnits(Decoder* d, size_t count)
{
    bool clean = true;
    for (size_t i = 0; i < count; ++i) {
        const H264PictureUnit& unit = d->units[i];
        if (av_new_packet(d->packet, static_cast<int>(unit.size)) < 0)
            return false;
        std::memcpy(d->packet->data, unit.data, unit.size);
        d->packet->pts = NotePicture(d, unit);
        int rc = avcodec_send_packet(d->ctx, d->packet);
        if (rc == AVERROR(EAGAIN)) {
            // Not expected with one thread; make room and try once more.
            clean = CollectPictures(d) && clean;
            rc = avcodec_send_packet(d->ctx, d->packet);
        }
        av_packet_unref(d->packet);
        if (rc < 0 && rc != AVERROR(EAGAIN)) {
            clean = false;
            d->waitForIntra = true;
        }
        clean = CollectPictures(d) && clean;
    }
    return clean;
}

} // namespace

extern "C" HI264_HANDLE Hi264DecCreate(const Hi264DecAttr* attr)
{
    if (!attr || attr->maxWidthMbs == 0 || attr->maxHeightMbs == 0 || attr->pictureBuffers == 0)
        return nullptr;
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    if (!codec)
        return nullptr;
    Decoder* d = new (std::nothrow) Decoder;
    if (!d)
        return nullptr;
    d->ctx = avcodec_alloc_context3(codec);
    d->packet = av_packet_alloc();
    d->frame = av_frame_alloc();
    if (d->ctx) {
        // One thread per stream: capacity comes from streams decoded side by side.
        d->ctx->thread_count = 1;
        d->ctx->thread_type = 0;
        d->ctx->coded_width = static_cast<int>(attr->maxWidthMbs * 16);
        d->ctx->coded_height = static_cast<int>(attr->maxHeightMbs * 16);
    }
    if (!d->ctx || !d->packet || !d->frame || avcodec_open2(d->ctx, codec, nullptr) < 0) {
        Hi264DecDestroy(d);
        return nullptr;
    }
    return d;
}

extern "C" int32_t Hi264DecFrame(HI264_HANDLE handle, const uint8_t* data, uint32_t length,
                                 uint64_t /*pts*/, Hi264DecPicture* picture, uint32_t /*flags*/)
{
    Decoder* d = static_cast<Decoder*>(handle);
    if (!d || !picture)
        return HI264DEC_ERR_ARG;
    ReleaseCurrent(d);
    if (!data || length == 0)
        return HandOut(d, picture, HI264DEC_NEED_MORE);
    if (length > HI264DEC_INPUT_BUFFER_SIZE)
        return HandOut(d, picture, HI264DEC_NO_PICTURE);

    bool moreFollows = false;
    const size_t header = DeviceHeader(data, length, &moreFollows);
    const uint8_t* payload = data + header;
    size_t payloadLength = length - header;
    if (moreFollows || !d->gathered.empty()) {
        if (d->gathered.size() + payloadLength > HI264DEC_INPUT_BUFFER_SIZE) {
            d->gathered.clear();
            d->waitForIntra = true;
            return HandOut(d, picture, HI264DEC_NO_PICTURE);
        }
        d->gathered.insert(d->gathered.end(), payload, payload + payloadLength);
        if (moreFollows)
            return HandOut(d, picture, HI264DEC_NEED_MORE);
        payload = d->gathered.data();
        payloadLength = d->gathered.size();
    }

    if (!d->byteRun && d->fedBefore && header == 0 && !StartsWithStartCode(payload, payloadLength))
        d->byteRun = true; // what it continues went in as a whole picture and broke
    d->fedBefore = true;
    if (!d->byteRun) {
        d->splitter.Split(payload, payloadLength, d->units);
        const bool clean = DecodeUnits(d, d->units.size());
        d->gathered.clear();
        return HandOut(d, picture, clean ? HI264DEC_NEED_MORE : HI264DEC_NO_PICTURE);
    }
    if (d->run.size() + payloadLength > HI264DEC_INPUT_BUFFER_SIZE) {
        d->run.clear();
        d->gathered.clear();
        d->waitForIntra = true;
        return HandOut(d, picture, HI264DEC_NO_PICTURE);
    }
    d->run.insert(d->run.end(), payload, payload + payloadLength);
    d->gathered.clear();
    d->splitter.Split(d->run.data(), d->run.size(), d->units);
    if (d->units.size() < 2)
        return HandOut(d, picture, HI264DEC_NEED_MORE);
    // Every picture but the last is whole: the next one has begun.
    const bool clean = DecodeUnits(d, d->units.size() - 1);
    d->run.erase(d->run.begin(), d->run.begin() + (d->units.back().data - d->run.data()));
    return HandOut(d, picture, clean ? HI264DEC_NEED_MORE : HI264DEC_NO_PICTURE);
}

extern "C" void Hi264DecDestroy(HI264_HANDLE handle)
{
    Decoder* d = static_cast<Decoder*>(handle);
    if (!d)
        return;
    ReleaseCurrent(d);
    ClearPending(d);
    av_frame_free(&d->frame);
    av_packet_free(&d->packet);
    avcodec_free_context(&d->ctx);
    delete d;
}
