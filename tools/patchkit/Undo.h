#pragma once

#include <functional>
#include <utility>

namespace patcher::patchkit {

// What a failed step leaves half-written, undone when the step is left unless it is kept.
class Undo {
  public:
    explicit Undo(std::function<void()> undo) : undo_(std::move(undo)) {}
    Undo(const Undo&) = delete;
    Undo& operator=(const Undo&) = delete;
    ~Undo() {
        if (undo_) {
            undo_();
        }
    }

    void Keep() { undo_ = nullptr; }

  private:
    std::function<void()> undo_;
};

}  // namespace patcher::patchkit
