#include "rwsdk/tool/imagefail/rtimagefail.h"

#include <string>

namespace {

// Long enough for any of the libraries' own sentences, short enough that a file name built into the
// text cannot flood the console.
constexpr size_t MaxLength = 160;

struct Failure {
    std::string text;
    bool error = false;
};

thread_local Failure failure;

} // namespace

const RwChar* RtImageReadFailure() {
    return failure.text.c_str();
}

void RtImageReadFailureClear() {
    failure = Failure{};
}

void _rtImageReadFailureNote(const RwChar* library, const RwChar* text, RwBool error) {
    if (failure.error || (!error && !failure.text.empty()) || !text) {
        return;
    }
    std::string said;
    for (const char* c = text; *c; ++c) {
        const unsigned char byte = static_cast<unsigned char>(*c);
        said.push_back(byte < 0x20 || byte == 0x7F ? ' ' : *c);
    }
    // The sentence ends where the caller's message goes on.
    while (!said.empty() && (said.back() == ' ' || said.back() == '.')) {
        said.pop_back();
    }
    if (said.empty()) {
        return;
    }
    if (said.size() > MaxLength) {
        size_t cut = MaxLength;
        while (cut > 0 && (static_cast<unsigned char>(said[cut]) & 0xC0) == 0x80) {
            --cut; // not inside a UTF-8 sequence
        }
        said.resize(cut);
        said += "...";
    }
    failure.text = std::string(library) + ": " + said;
    failure.error = error;
}
