# Ogg Vorbis decoding: a 3-minute track through Audio::OggDecoder against oggdec (see docs: performance targets).
corvane_bench(bench_audio SOURCES ${CMAKE_CURRENT_LIST_DIR}/audio/OggDecodeBench.cpp DEPS audio)
