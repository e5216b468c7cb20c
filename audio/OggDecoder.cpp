#include "audio/OggDecoder.h"

#include <algorithm>
#include <cstdint>

namespace Audio {

namespace {

size_t ReadCallback(void* pointer, size_t size, size_t count, void* source) {
    auto* stream = static_cast<std::istream*>(source);
    if (size == 0) {
        return 0;
    }
    stream->read(static_cast<char*>(pointer), static_cast<std::streamsize>(size * count));
    return static_cast<size_t>(stream->gcount()) / size;
}

int SeekCallback(void* source, ogg_int64_t offset, int whence) {
    auto* stream = static_cast<std::istream*>(source);
    stream->clear();
    const auto direction = whence == SEEK_SET   ? std::ios::beg
                           : whence == SEEK_CUR ? std::ios::cur
                                                : std::ios::end;
    stream->seekg(offset, direction);
    return stream->good() ? 0 : -1;
}

// The stream belongs to the caller.
int CloseCallback(void*) {
    return 0;
}

long TellCallback(void* source) {
    auto* stream = static_cast<std::istream*>(source);
    if (stream->fail()) {
        return -1;
    }
    return static_cast<long>(stream->tellg());
}

} // namespace

OggDecoder::OggDecoder(std::istream& stream) {
    status = Open;
    file = new OggVorbis_File();
    const ov_callbacks callbacks{ReadCallback, SeekCallback, CloseCallback, TellCallback};
    if (ov_open_callbacks(&stream, file, nullptr, 0, callbacks) != 0) {
        status = NotOpened;
        return;
    }
    opened = true;
    const vorbis_info* info = ov_info(file, -1);
    const ogg_int64_t frames = ov_pcm_total(file, -1);
    if (!info || info->channels < 1 || info->rate < 1 || frames < 0) {
        status = NotOpened;
        return;
    }
    channels = static_cast<uint32_t>(info->channels);
    sampleRate = static_cast<uint32_t>(info->rate);
    bitsPerSample = 16;
    blockAlign = channels * 2;
    // The length is read from the last page's position: a claim, capped to what the field can hold. Readers
    // size nothing from it alone.
    const uint64_t mostFrames = UINT32_MAX / blockAlign;
    dataSize =
        static_cast<uint32_t>(std::min<uint64_t>(static_cast<uint64_t>(frames), mostFrames) * blockAlign);
}

OggDecoder::~OggDecoder() {
    if (opened) {
        ov_clear(file);
    }
    delete file;
}

uint32_t OggDecoder::Read(void* buffer, uint32_t bytes) {
    if (status == NotOpened) {
        return 0;
    }
    auto* out = static_cast<char*>(buffer);
    uint32_t done = 0;
    int section = 0;
    while (bytes - done >= blockAlign) {
        const int room = static_cast<int>(std::min<uint32_t>(bytes - done, 1u << 30));
        const long got = ov_read(file, out + done, room, 0, 2, 1, &section);
        if (got == 0) {
            status = AtEnd;
            break;
        }
        if (got == OV_HOLE) {
            continue; // a gap in the stream: the next read goes on after it
        }
        if (got < 0) {
            status = AtEnd; // a broken stream ends here
            break;
        }
        done += static_cast<uint32_t>(got);
    }
    return done;
}

void OggDecoder::Rewind() {
    ov_raw_seek(file, 0);
}

} // namespace Audio
