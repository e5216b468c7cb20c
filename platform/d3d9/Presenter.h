// Shows finished frames in the window from a thread of its own. On a rasteriser that runs on the CPU a
// swap waits for the frame's last pixels; handing the frame over lets the drawing thread prepare the next
// one meanwhile, as a GPU's driver queues frames.
#pragma once

#include <SDL.h>
#include <epoxy/gl.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace D3D9 {

class Presenter {
public:
    // A presenter with a context that shares the current one's objects, or null where the window system
    // cannot show a window from a second thread. Leaves the given context current.
    static std::unique_ptr<Presenter> Create(SDL_Window* window, SDL_GLContext drawing);
    ~Presenter();
    Presenter(const Presenter&) = delete;
    Presenter& operator=(const Presenter&) = delete;

    // On the drawing thread: the texture (rows bottom first, as the window's) holds a frame whose draws end
    // at the fence, and is flushed. Waits while two frames are queued (so that the texture of the frame
    // before them is free again), then queues this one; the presenter owns the fence from then on.
    void Show(GLuint texture, GLsync fence, int width, int height, int interval);
    // Until every frame handed over is in the window.
    void Wait();

private:
    Presenter(SDL_Window* window, SDL_GLContext context);
    void run();

    SDL_Window* window_;
    SDL_GLContext context_;
    std::mutex mutex_;
    std::condition_variable changed_;
    struct Frame {
        GLuint texture = 0;
        GLsync fence = nullptr;
        int width = 0, height = 0, interval = 0;
    };
    // Frames handed over and not yet swapped into the window, the first being shown.
    static constexpr unsigned Queue = 2;
    Frame queue_[Queue];
    unsigned first_ = 0, queued_ = 0;
    bool stop_ = false;
    enum class State { Starting, Running, Failed } state_ = State::Starting;
    std::thread thread_;
};

} // namespace D3D9
