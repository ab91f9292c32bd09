// The desktop clipboard through SDL. SDL talks to the X server for it, which must not
// happen beside the GUI thread's own event pump, so other threads see a copy.
#include <mutex>
#include <optional>
#include <string>

#include "sdl_backend.h"

namespace {

class SdlClipboard final : public ClipboardProvider {
 public:
  SdlClipboard(bool (*onGuiThread)(), void (*post)()) : on_gui_(onGuiThread), post_(post) {}

  std::optional<std::string> GetText() override {
    if (!on_gui_()) {
      std::lock_guard lock(mu_);
      const std::optional<std::string>& text = pending_ ? pending_ : seen_;
      if (!text || text->empty()) return std::nullopt;
      return *text;
    }
    Flush();
    std::optional<std::string> text;
    if (SDL_HasClipboardText()) {
      char* raw = SDL_GetClipboardText();
      if (raw) {
        text = std::string(raw);
        SDL_free(raw);
      }
    }
    std::lock_guard lock(mu_);
    seen_ = text;
    return text;
  }

  bool SetText(const std::string& text) override { return Store(text); }
  void Clear() override { Store(std::string()); }

  // Hands a text set on another thread to the desktop.
  void Flush() {
    std::optional<std::string> text;
    {
      std::lock_guard lock(mu_);
      text.swap(pending_);
    }
    if (text) Publish(*text);
  }

 private:
  bool Store(const std::string& text) {
    // The clipboard holds text only up to its first NUL.
    std::string stored = text.substr(0, text.find('\0'));
    if (on_gui_()) {
      {
        std::lock_guard lock(mu_);
        pending_.reset();
      }
      return Publish(stored);
    }
    {
      std::lock_guard lock(mu_);
      pending_ = stored;
    }
    post_();
    return true;
  }

  bool Publish(const std::string& text) {
    const bool ok = SDL_SetClipboardText(text.c_str()) == 0;
    std::lock_guard lock(mu_);
    if (text.empty())
      seen_.reset();
    else
      seen_ = text;
    return ok;
  }

  bool (*on_gui_)();
  void (*post_)();
  std::mutex mu_;
  std::optional<std::string> seen_;     // last text known on the GUI thread
  std::optional<std::string> pending_;  // set on another thread, not yet published
};

}  // namespace

std::shared_ptr<ClipboardProvider> MakeSdlClipboard(bool (*onGuiThread)(), void (*post)()) {
  return std::make_shared<SdlClipboard>(onGuiThread, post);
}

void FlushSdlClipboard(ClipboardProvider* provider) {
  if (auto* clip = dynamic_cast<SdlClipboard*>(provider)) clip->Flush();
}
