#include "tools/sounds/SoundFiles.h"

#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

namespace Tools {

namespace {

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<FILE, FileCloser>;

void PutU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(char(v >> (8 * i)));
    }
}

void PutU16(std::string& out, uint16_t v) {
    out.push_back(char(v));
    out.push_back(char(v >> 8));
}

int16_t ToPcm(float s) {
    return int16_t(std::lround(std::clamp(s, -1.0f, 1.0f) * 32767.0f));
}

} // namespace

bool WriteWave(const std::string& path, const Samples& samples, int rate, int channels) {
    const auto dataBytes = uint32_t(samples.size() * 2);
    std::string out = "RIFF";
    PutU32(out, 36 + dataBytes);
    out += "WAVEfmt ";
    PutU32(out, 16);
    PutU16(out, 1);
    PutU16(out, uint16_t(channels));
    PutU32(out, uint32_t(rate));
    PutU32(out, uint32_t(rate * channels * 2));
    PutU16(out, uint16_t(channels * 2));
    PutU16(out, 16);
    out += "data";
    PutU32(out, dataBytes);
    for (float s : samples) {
        PutU16(out, uint16_t(ToPcm(s)));
    }
    File file(std::fopen(path.c_str(), "wb"));
    return file && std::fwrite(out.data(), 1, out.size(), file.get()) == out.size();
}

bool WriteOgg(const std::string& path, const Samples& samples, int rate, int channels, float quality) {
    File file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        return false;
    }
    vorbis_info info;
    vorbis_info_init(&info);
    if (vorbis_encode_init_vbr(&info, channels, rate, quality) != 0) {
        vorbis_info_clear(&info);
        return false;
    }
    vorbis_comment comment;
    vorbis_comment_init(&comment);
    vorbis_comment_add_tag(&comment, "ENCODER", "Corvane make_sounds");
    vorbis_dsp_state dsp;
    vorbis_block block;
    vorbis_analysis_init(&dsp, &info);
    vorbis_block_init(&dsp, &block);
    ogg_stream_state stream;
    ogg_stream_init(&stream, 0x436F7276); // fixed serial: reproducible files
    bool ok = true;
    auto writePage = [&](const ogg_page& page) {
        ok =
            ok && std::fwrite(page.header, 1, size_t(page.header_len), file.get()) == size_t(page.header_len);
        ok = ok && std::fwrite(page.body, 1, size_t(page.body_len), file.get()) == size_t(page.body_len);
    };
    {
        ogg_packet header, commentHeader, codeHeader;
        vorbis_analysis_headerout(&dsp, &comment, &header, &commentHeader, &codeHeader);
        ogg_stream_packetin(&stream, &header);
        ogg_stream_packetin(&stream, &commentHeader);
        ogg_stream_packetin(&stream, &codeHeader);
        ogg_page page;
        while (ogg_stream_flush(&stream, &page) != 0) {
            writePage(page);
        }
    }
    const size_t frames = samples.size() / size_t(channels);
    const size_t step = 4096;
    for (size_t at = 0;;) {
        const size_t count = std::min(step, frames - at);
        if (count > 0) {
            float** buffer = vorbis_analysis_buffer(&dsp, int(count));
            for (size_t i = 0; i < count; ++i) {
                for (int c = 0; c < channels; ++c) {
                    buffer[c][i] = samples[(at + i) * size_t(channels) + size_t(c)];
                }
            }
        }
        vorbis_analysis_wrote(&dsp, int(count)); // 0 marks the end
        while (vorbis_analysis_blockout(&dsp, &block) == 1) {
            vorbis_analysis(&block, nullptr);
            vorbis_bitrate_addblock(&block);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&dsp, &packet)) {
                ogg_stream_packetin(&stream, &packet);
                ogg_page page;
                while (ogg_stream_pageout(&stream, &page) != 0) {
                    writePage(page);
                }
            }
        }
        if (count == 0) {
            break;
        }
        at += count;
    }
    ogg_page page;
    while (ogg_stream_flush(&stream, &page) != 0) {
        writePage(page);
    }
    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    return ok;
}

} // namespace Tools
