// Strings queued for one draw at the flush: their characters lie in one shared buffer, so a warm queue
// allocates nothing, and a string that would take the queue past TextQueueLimit characters is dropped.
#pragma once

#include "gui/draw/ScreenDraw.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace Gui {

// Request: where and how one string is drawn, with the fields textOffset and textLength that place its
// characters in the buffer.
template <class Request> class TextQueue {
public:
    // Characters first .. first + count - 1 of text (count cut to the string), drawn as request says.
    void Push(std::string_view text, size_t first, size_t count, Request request) {
        if (first > text.size())
            first = text.size();
        count = std::min(count, text.size() - first);
        if (characters_ + count > TextQueueLimit)
            return;
        characters_ += uint32_t(count);
        request.textOffset = text_.size();
        request.textLength = count;
        text_.insert(text_.end(), text.begin() + long(first), text.begin() + long(first + count));
        requests_.push_back(request);
    }
    uint32_t Characters() const { return characters_; }
    const std::vector<Request>& Requests() const { return requests_; }
    std::string_view Text(const Request& r) const { return {text_.data() + r.textOffset, r.textLength}; }
    void Clear() {
        requests_.clear();
        text_.clear();
        characters_ = 0;
    }

private:
    std::vector<Request> requests_;
    std::vector<char> text_;
    uint32_t characters_ = 0;
};

} // namespace Gui
