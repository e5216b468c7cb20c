#include "platform/d3d9/Presenter.h"

#include <cstring>

namespace D3D9 {

std::unique_ptr<Presenter> Presenter::Create(SDL_Window* window, SDL_GLContext drawing) {
    // Only a window system whose windows two contexts may draw to from two threads (GLX); an EGL surface
    // belongs to one thread at a time.
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver || std::strcmp(driver, "x11") != 0)
        return nullptr;
    SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 1);
    SDL_GLContext context = SDL_GL_CreateContext(window);
    SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 0);
    SDL_GL_MakeCurrent(window, drawing);
    if (!context)
        return nullptr;
    std::unique_ptr<Presenter> presenter(new Presenter(window, context));
    bool running = false;
    {
        std::unique_lock lock(presenter->mutex_);
        presenter->changed_.wait(lock, [&] { return presenter->state_ != State::Starting; });
        running = presenter->state_ == State::Running;
    }
    if (!running)
        return nullptr;
    return presenter;
}

Presenter::Presenter(SDL_Window* window, SDL_GLContext context) : window_(window), context_(context) {
    thread_ = std::thread([this] { run(); });
}

Presenter::~Presenter() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
    SDL_GL_DeleteContext(context_);
}

void Presenter::Show(GLuint texture, GLsync fence, int width, int height, int interval) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return queued_ < Queue; });
    queue_[(first_ + queued_) % Queue] = {texture, fence, width, height, interval};
    ++queued_;
    changed_.notify_all();
}

void Presenter::Wait() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return queued_ == 0; });
}

void Presenter::run() {
    const bool current = SDL_GL_MakeCurrent(window_, context_) == 0;
    {
        std::lock_guard lock(mutex_);
        state_ = current ? State::Running : State::Failed;
    }
    changed_.notify_all();
    if (!current)
        return;
    GLuint framebuffer = 0;
    glGenFramebuffers(1, &framebuffer);
    int interval = -2;
    for (;;) {
        Frame frame;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return queued_ > 0 || stop_; });
            if (queued_ == 0)
                break;
            frame = queue_[first_];
        }
        if (frame.interval != interval) {
            SDL_GL_SetSwapInterval(frame.interval);
            interval = frame.interval;
        }
        // The frame's draws were flushed by the drawing thread; this only waits for their pixels.
        while (glClientWaitSync(frame.fence, 0, 1000000000) == GL_TIMEOUT_EXPIRED) {
        }
        glDeleteSync(frame.fence);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
        glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, frame.texture, 0);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        glDisable(GL_SCISSOR_TEST);
        glBlitFramebuffer(0, 0, frame.width, frame.height, 0, 0, frame.width, frame.height,
                          GL_COLOR_BUFFER_BIT, GL_NEAREST);
        SDL_GL_SwapWindow(window_);
        {
            // Only now is its texture free to be drawn into again.
            std::lock_guard lock(mutex_);
            first_ = (first_ + 1) % Queue;
            --queued_;
        }
        changed_.notify_all();
    }
    glDeleteFramebuffers(1, &framebuffer);
    SDL_GL_MakeCurrent(window_, nullptr);
}

} // namespace D3D9
