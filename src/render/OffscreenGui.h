#pragma once
// What a program without windows needs before it draws text into an image:
// a QGuiApplication, here on the offscreen platform (no display needed).
// Does nothing when the program already has an application object.
#include <memory>

class QGuiApplication;

namespace qm {

class OffscreenGui {
  public:
    OffscreenGui();
    ~OffscreenGui();
    OffscreenGui(const OffscreenGui&) = delete;
    OffscreenGui& operator=(const OffscreenGui&) = delete;

  private:
    // QGuiApplication keeps a reference to these for its whole life.
    int argc_ = 1;
    char name_[16] = "quillmark-cli";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QGuiApplication> app_;
};

}  // namespace qm
