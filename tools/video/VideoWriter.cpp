#include "tools/video/VideoWriter.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <cmath>
#include <cstdio>
#include <vector>

namespace Tools {

static_assert(SourcePadding >= AV_INPUT_BUFFER_PADDING_SIZE);

const uint8_t TestPatternColours[8][3] = {
    {255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
    {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0},
};

void PaintTestPattern(int n, int width, int height, uint8_t* rgb, int stride) {
    const int barsBottom = height * 3 / 4;
    const int side = std::max(1, (height - barsBottom) / 2);
    const int squareLeft = (n * 4) % std::max(1, width);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = rgb + size_t(y) * size_t(stride);
        for (int x = 0; x < width; ++x) {
            const uint8_t* c = TestPatternColours[7];
            static const uint8_t white[3] = {255, 255, 255};
            if (y < barsBottom)
                c = TestPatternColours[std::min(7, x * 8 / width)];
            else if (y >= barsBottom + side / 2 && y < barsBottom + side / 2 + side && x >= squareLeft &&
                     x < squareLeft + side)
                c = white;
            row[3 * x] = c[0];
            row[3 * x + 1] = c[1];
            row[3 * x + 2] = c[2];
        }
    }
}

namespace {

struct Writer {
    AVFormatContext* format = nullptr;
    AVCodecContext* video = nullptr;
    AVCodecContext* audio = nullptr;
    AVStream* videoStream = nullptr;
    AVStream* audioStream = nullptr;
    SwsContext* scaler = nullptr;
    AVFrame* frame = nullptr;
    AVFrame* sound = nullptr;
    AVPacket* packet = nullptr;

    ~Writer() {
        sws_freeContext(scaler);
        av_frame_free(&frame);
        av_frame_free(&sound);
        av_packet_free(&packet);
        avcodec_free_context(&video);
        avcodec_free_context(&audio);
        if (format && !(format->oformat->flags & AVFMT_NOFILE))
            avio_closep(&format->pb);
        avformat_free_context(format);
    }

    bool Drain(AVCodecContext* codec, AVStream* stream, const AVFrame* input) {
        if (avcodec_send_frame(codec, input) < 0)
            return false;
        for (;;) {
            const int got = avcodec_receive_packet(codec, packet);
            if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
                return true;
            if (got < 0)
                return false;
            av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
            packet->stream_index = stream->index;
            if (av_interleaved_write_frame(format, packet) < 0)
                return false;
        }
    }
};

bool Fail(const std::string& path, const char* what) {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), what);
    return false;
}

} // namespace

bool WriteVideo(const std::string& path, const FilmSettings& film) {
    Writer w;
    if (avformat_alloc_output_context2(&w.format, nullptr, nullptr, path.c_str()) < 0 || !w.format)
        return Fail(path, "no container for this name");
    const AVCodec* codec = avcodec_find_encoder_by_name(film.codec.c_str());
    if (!codec)
        return Fail(path, "no such encoder");
    w.video = avcodec_alloc_context3(codec);
    w.video->width = film.width;
    w.video->height = film.height;
    w.video->time_base = {1, film.framesPerSecond};
    w.video->framerate = {film.framesPerSecond, 1};
    w.video->gop_size = 12;
    const bool lossless = film.codec == "ffv1";
    w.video->pix_fmt = lossless ? AV_PIX_FMT_BGR0 : AV_PIX_FMT_YUV420P;
    if (!lossless) {
        w.video->flags |= AV_CODEC_FLAG_QSCALE;
        w.video->global_quality = FF_QP2LAMBDA * 2;
    }
    if (w.format->oformat->flags & AVFMT_GLOBALHEADER)
        w.video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(w.video, codec, nullptr) < 0)
        return Fail(path, "the video encoder refused the settings");
    w.videoStream = avformat_new_stream(w.format, nullptr);
    w.videoStream->time_base = w.video->time_base;
    avcodec_parameters_from_context(w.videoStream->codecpar, w.video);

    if (film.sampleRate > 0) {
        const AVCodec* pcm = avcodec_find_encoder(AV_CODEC_ID_PCM_S16LE);
        w.audio = avcodec_alloc_context3(pcm);
        w.audio->sample_fmt = AV_SAMPLE_FMT_S16;
        w.audio->sample_rate = film.sampleRate;
        av_channel_layout_default(&w.audio->ch_layout, 1);
        w.audio->time_base = {1, film.sampleRate};
        if (avcodec_open2(w.audio, pcm, nullptr) < 0)
            return Fail(path, "the sound encoder refused the settings");
        w.audioStream = avformat_new_stream(w.format, nullptr);
        w.audioStream->time_base = w.audio->time_base;
        avcodec_parameters_from_context(w.audioStream->codecpar, w.audio);
    }
    if (!(w.format->oformat->flags & AVFMT_NOFILE) &&
        avio_open(&w.format->pb, path.c_str(), AVIO_FLAG_WRITE) < 0)
        return Fail(path, "cannot create the file");
    if (avformat_write_header(w.format, nullptr) < 0)
        return Fail(path, "cannot write the header");

    w.packet = av_packet_alloc();
    w.frame = av_frame_alloc();
    w.frame->format = w.video->pix_fmt;
    w.frame->width = film.width;
    w.frame->height = film.height;
    if (av_frame_get_buffer(w.frame, 0) < 0)
        return Fail(path, "out of memory");
    w.scaler = sws_getContext(
        film.width, film.height, AV_PIX_FMT_RGB24, film.width, film.height, w.video->pix_fmt,
        SWS_BILINEAR | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP, nullptr, nullptr, nullptr);
    if (!w.scaler)
        return Fail(path, "no colour conversion");
    // swscale's vector loads read a little past the last pixel: the rows get FFmpeg's usual padding.
    std::vector<uint8_t> rgb(size_t(film.width) * 3 * size_t(film.height) + SourcePadding);
    const int samplesPerFrame = film.sampleRate / film.framesPerSecond;
    int64_t sampleIndex = 0;
    if (w.audio) {
        w.sound = av_frame_alloc();
        w.sound->format = AV_SAMPLE_FMT_S16;
        w.sound->sample_rate = film.sampleRate;
        av_channel_layout_default(&w.sound->ch_layout, 1);
        w.sound->nb_samples = samplesPerFrame;
        if (av_frame_get_buffer(w.sound, 0) < 0)
            return Fail(path, "out of memory");
    }
    for (int n = 0; n < film.frames; ++n) {
        if (film.paint)
            film.paint(n, rgb.data(), film.width * 3);
        else
            PaintTestPattern(n, film.width, film.height, rgb.data(), film.width * 3);
        if (av_frame_make_writable(w.frame) < 0)
            return Fail(path, "out of memory");
        const uint8_t* source[4] = {rgb.data(), nullptr, nullptr, nullptr};
        const int sourceStride[4] = {film.width * 3, 0, 0, 0};
        sws_scale(w.scaler, source, sourceStride, 0, film.height, w.frame->data, w.frame->linesize);
        w.frame->pts = n;
        if (!w.Drain(w.video, w.videoStream, w.frame))
            return Fail(path, "the video encoder failed");
        if (w.audio) {
            if (av_frame_make_writable(w.sound) < 0)
                return Fail(path, "out of memory");
            auto* pcm = reinterpret_cast<int16_t*>(w.sound->data[0]);
            for (int i = 0; i < samplesPerFrame; ++i, ++sampleIndex)
                pcm[i] = int16_t(std::lround(
                    8000.0 * std::sin(2.0 * M_PI * film.toneHz * double(sampleIndex) / film.sampleRate)));
            w.sound->pts = sampleIndex - samplesPerFrame;
            if (!w.Drain(w.audio, w.audioStream, w.sound))
                return Fail(path, "the sound encoder failed");
        }
    }
    if (!w.Drain(w.video, w.videoStream, nullptr) || (w.audio && !w.Drain(w.audio, w.audioStream, nullptr)))
        return Fail(path, "cannot finish the streams");
    if (av_write_trailer(w.format) < 0)
        return Fail(path, "cannot finish the file");
    return true;
}

} // namespace Tools
