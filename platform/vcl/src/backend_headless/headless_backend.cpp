// The headless backend: windows exist only as memory; time can be made to stand
// still; input comes from the test.
#include <vcl/headless.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <map>
#include <mutex>

#include <vcl/forms.h>
#include <vcl/graphics.h>

#include "headless_backend.h"
#include "../graphics/gdi_internal.h"

namespace {

struct Window {
  BackendWindowDesc desc;
  int serial = 0;
  bool visible = false;
  bool minimized = false;
  std::vector<RECT> shape;
  TSurface shown;
  int presents = 0;
};

struct State {
  std::mutex mu;
  std::condition_variable cv;
  std::deque<BackendEvent> events;
  int wake_pending = 0;
  bool fake = false;
  std::uint64_t fake_now = 0;
  std::map<HWND, Window> windows;
  int next_serial = 0;
  std::function<bool()> idle_hook;
  bool in_hook = false;
  bool autoclose = false;
  bool autoclose_done = false;
  std::string log_path;
  MessageBoxRecorder recorder;
};

State& S() {
  static State* s = new State;  // outlives static destructors of the program
  return *s;
}

std::uint64_t RealNow() {
  using namespace std::chrono;
  return static_cast<std::uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void LogLocked(const std::string& line) {
  State& s = S();
  if (s.log_path.empty()) return;
  std::ofstream f(s.log_path, std::ios::app);
  f << line << "\n";
}

void Push(const BackendEvent& e) {
  State& s = S();
  {
    std::lock_guard<std::mutex> lock(s.mu);
    s.events.push_back(e);
  }
  s.cv.notify_all();
}

HWND HandleOf(TCustomForm* f) { return f ? f->Handle() : nullptr; }

bool Init(std::string*) {
  State& s = S();
  std::lock_guard<std::mutex> lock(s.mu);
  if (const char* v = std::getenv("QUILLMERE_HEADLESS_LOG")) s.log_path = v;
  if (const char* v = std::getenv("QUILLMERE_HEADLESS_AUTOCLOSE")) s.autoclose = *v && *v != '0';
  return true;
}

void Shutdown() {}

bool CreateWindow(const BackendWindowDesc& d) {
  State& s = S();
  std::lock_guard<std::mutex> lock(s.mu);
  s.windows.erase(d.handle);
  Window& w = s.windows[d.handle];
  w.desc = d;
  w.serial = ++s.next_serial;
  LogLocked("create " + std::to_string(w.serial) + " " + d.title);
  return true;
}

void DestroyWindow(HWND h) {
  State& s = S();
  std::lock_guard<std::mutex> lock(s.mu);
  auto it = s.windows.find(h);
  if (it == s.windows.end()) return;
  LogLocked("destroy " + std::to_string(it->second.serial));
  s.windows.erase(it);
}

void SetTitle(HWND h, const std::string& t) {
  State& s = S();
  std::lock_guard<std::mutex> lock(s.mu);
  auto it = s.windows.find(h);
  if (it == s.windows.end() || it->second.desc.title == t) return;
  it->second.desc.title = t;
  LogLocked("title " + std::to_string(it->second.serial) + " " + t);
}

void SetBounds(HWND h, int x, int y, int w, int hh) {
  State& s = S();
  std::lock_guard<std::mutex> lock(s.mu);
  auto it = s.windows.find(h);
  if (it == s.windows.end()) return;
  it->second.desc.x = x;
  it->second.desc.y = y;
  it->second.desc.width = w;
  it->second.desc.height = hh;
}

void SetVisible(HWND h, bool v) {
  State& s = S();
  std::lock_guard<std::mutex> lock(s.mu);
  auto it = s.windows.find(h);
  if (it == s.windows.end() || it->second.visible == v) return;
  it->second.visible = v;
  LogLocked((v ? "show " : "hide ") + std::to_string(it->second.serial) + " " + it->second.desc.title);
}

void SetMinimized(HWND h, bool m) {
  State& s = S();
  std::lock_guard<std::mutex> lock(s.mu);
  auto it = s.windows.find(h);
  if (it != s.windows.end()) it->second.minimized = m;
}

void SetShape(HWND h, const RECT* rects, int count) {
  State& s = S();
  std::lock_guard<std::mutex> lock(s.mu);
  auto it = s.windows.find(h);
  if (it == s.windows.end()) return;
  it->second.shape.clear();
  if (count >= 0) {
    it->second.shape.assign(rects, rects + count);
    // An empty region hides the whole window; keep that distinct from "no shape".
    if (count == 0) it->second.shape.push_back(RECT{0, 0, 0, 0});
  }
}

void Present(HWND h, const TSurface& surface, const RECT&) {
  State& s = S();
  std::lock_guard<std::mutex> lock(s.mu);
  auto it = s.windows.find(h);
  if (it == s.windows.end()) return;
  it->second.shown.CopyFrom(surface);
  ++it->second.presents;
}

bool WaitEvent(BackendEvent* e, int timeoutMs) {
  State& s = S();
  std::unique_lock<std::mutex> lock(s.mu);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  for (;;) {
    if (!s.events.empty()) {
      *e = s.events.front();
      s.events.pop_front();
      return true;
    }
    if (s.wake_pending > 0) {
      s.wake_pending = 0;
      *e = BackendEvent{};
      e->kind = BackendEventKind::Wake;
      return true;
    }
    if (timeoutMs == 0) return false;
    if (s.idle_hook && !s.in_hook) {
      auto hook = s.idle_hook;
      s.in_hook = true;
      lock.unlock();
      bool did = false;
      try {
        did = hook();
      } catch (...) {
        lock.lock();
        s.in_hook = false;
        throw;
      }
      lock.lock();
      s.in_hook = false;
      if (did) {
        // The hook changed something: let the loop look again.
        if (!s.events.empty()) continue;
        s.wake_pending = 0;
        *e = BackendEvent{};
        e->kind = BackendEventKind::Wake;
        return true;
      }
    }
    if (s.autoclose && !s.autoclose_done) {
      // Test hook: the user closes the first window that is on screen.
      const Window* first = nullptr;
      HWND fh = nullptr;
      for (auto& [h, w] : s.windows)
        if (w.visible && (!first || w.serial < first->serial)) {
          first = &w;
          fh = h;
        }
      if (first) {
        s.autoclose_done = true;
        BackendEvent c;
        c.kind = BackendEventKind::Close;
        c.window = fh;
        s.events.push_back(c);
        continue;
      }
    }
    auto ready = [&] { return !s.events.empty() || s.wake_pending > 0; };
    if (timeoutMs < 0 || s.fake) {
      // With the fake clock only an event or a wake-up moves things on.
      s.cv.wait(lock, ready);
    } else if (!s.cv.wait_until(lock, deadline, ready)) {
      return false;
    }
  }
}

void Wake() {
  State& s = S();
  {
    std::lock_guard<std::mutex> lock(s.mu);
    ++s.wake_pending;
  }
  s.cv.notify_all();
}

std::uint64_t Clock() {
  State& s = S();
  std::lock_guard<std::mutex> lock(s.mu);
  return s.fake ? s.fake_now : RealNow();
}

void SetCaptureOp(HWND, bool) {}
void SetCursorOp(int) {}

void ScreenSize(int* w, int* h) {
  *w = 1280;
  *h = 1024;
}

void WorkArea(RECT* r) { *r = RECT{0, 0, 1280, 984}; }

std::shared_ptr<ClipboardProvider> Clipboard() { return nullptr; }

const BackendOps kOps = {
    "headless", Init,    Shutdown,     CreateWindow, DestroyWindow, SetTitle,   SetBounds,
    SetVisible, SetMinimized, SetShape, Present,     WaitEvent,     Wake,       Clock,
    SetCaptureOp, SetCursorOp, ScreenSize, WorkArea, Clipboard,
};

void PushMouse(BackendEventKind k, TCustomForm* f, int x, int y, int button, unsigned mods) {
  BackendEvent e;
  e.kind = k;
  e.window = HandleOf(f);
  e.x = x;
  e.y = y;
  e.button = button;
  e.modifiers = mods;
  Push(e);
}

void PushKey(BackendEventKind k, TCustomForm* f, unsigned key, unsigned mods) {
  BackendEvent e;
  e.kind = k;
  e.window = HandleOf(f);
  e.key = key;
  e.modifiers = mods;
  Push(e);
}

}  // namespace

const BackendOps& HeadlessBackendOps() { return kOps; }

void HeadlessUseFakeClock(std::uint64_t startMs) {
  State& s = S();
  std::lock_guard<std::mutex> lock(s.mu);
  s.fake = true;
  s.fake_now = startMs;
}

void HeadlessAdvanceClock(std::uint64_t ms) {
  State& s = S();
  {
    std::lock_guard<std::mutex> lock(s.mu);
    s.fake_now += ms;
    ++s.wake_pending;
  }
  s.cv.notify_all();
}

bool HeadlessFakeClock() {
  State& s = S();
  std::lock_guard<std::mutex> lock(s.mu);
  return s.fake;
}

void HeadlessMouseMove(TCustomForm* f, int x, int y, unsigned m) { PushMouse(BackendEventKind::MouseMove, f, x, y, 0, m); }
void HeadlessMouseDown(TCustomForm* f, int x, int y, int b, unsigned m) { PushMouse(BackendEventKind::MouseDown, f, x, y, b, m); }
void HeadlessMouseUp(TCustomForm* f, int x, int y, int b, unsigned m) { PushMouse(BackendEventKind::MouseUp, f, x, y, b, m); }

void HeadlessClick(TCustomForm* f, int x, int y, int b, unsigned m) {
  HeadlessMouseMove(f, x, y, m);
  HeadlessMouseDown(f, x, y, b, m);
  HeadlessMouseUp(f, x, y, b, m);
}

void HeadlessWheel(TCustomForm* f, int x, int y, int delta) {
  BackendEvent e;
  e.kind = BackendEventKind::MouseWheel;
  e.window = HandleOf(f);
  e.x = x;
  e.y = y;
  e.wheel = delta;
  Push(e);
}

void HeadlessKeyDown(TCustomForm* f, unsigned vk, unsigned m) {
  PushKey(BackendEventKind::KeyDown, f, vk, m);
}

void HeadlessKeyUp(TCustomForm* f, unsigned vk, unsigned m) {
  PushKey(BackendEventKind::KeyUp, f, vk, m);
}

void HeadlessChar(TCustomForm* f, char ch, unsigned m) {
  PushKey(BackendEventKind::Char, f, static_cast<unsigned char>(ch), m);
}

void HeadlessText(TCustomForm* f, const std::string& utf8) {
  for (char32_t ch : quill_gdi::DecodeText(utf8)) PushKey(BackendEventKind::Char, f, static_cast<unsigned>(ch), 0);
}

void HeadlessKey(TCustomForm* f, unsigned vk, unsigned m) {
  HeadlessKeyDown(f, vk, m);
  char ch = 0;
  if (vk >= 'A' && vk <= 'Z') ch = static_cast<char>((m & BackendShift) ? vk : vk + 32);
  else if ((vk >= '0' && vk <= '9') || vk == ' ') ch = static_cast<char>(vk);
  else if (vk == 0x0D || vk == 0x1B || vk == 0x08 || vk == 0x09) ch = static_cast<char>(vk);
  if (ch && !(m & BackendCtrl)) HeadlessChar(f, ch, m);
  HeadlessKeyUp(f, vk, m);
}

void HeadlessCloseRequest(TCustomForm* f) {
  BackendEvent e;
  e.kind = BackendEventKind::Close;
  e.window = HandleOf(f);
  Push(e);
}

void HeadlessSetIdleHook(std::function<bool()> hook) {
  State& s = S();
  std::lock_guard<std::mutex> lock(s.mu);
  s.idle_hook = std::move(hook);
}

bool HeadlessCapture(HWND h, TSurface& out) {
  State& s = S();
  std::lock_guard<std::mutex> lock(s.mu);
  auto it = s.windows.find(h);
  if (it == s.windows.end()) return false;
  out.CopyFrom(it->second.shown);
  return true;
}

bool HeadlessCaptureToFile(HWND h, const std::string& path) {
  TSurface surface;
  if (!HeadlessCapture(h, surface)) return false;
  try {
    std::string ext = path.size() >= 4 ? path.substr(path.size() - 4) : "";
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".png") {
      WritePngFile(surface, path);
      return true;
    }
    if (ext == ".bmp") {
      std::vector<std::uint8_t> bytes = WriteBmp24(surface);
      std::ofstream f(path, std::ios::binary);
      f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
      return static_cast<bool>(f);
    }
  } catch (const std::exception&) {
    return false;
  }
  return false;
}

bool HeadlessWindowVisible(HWND h) {
  State& s = S();
  std::lock_guard<std::mutex> lock(s.mu);
  auto it = s.windows.find(h);
  return it != s.windows.end() && it->second.visible && !it->second.minimized;
}

std::string HeadlessWindowTitle(HWND h) {
  State& s = S();
  std::lock_guard<std::mutex> lock(s.mu);
  auto it = s.windows.find(h);
  return it == s.windows.end() ? std::string() : it->second.desc.title;
}

RECT HeadlessWindowBounds(HWND h) {
  State& s = S();
  std::lock_guard<std::mutex> lock(s.mu);
  auto it = s.windows.find(h);
  if (it == s.windows.end()) return RECT{0, 0, 0, 0};
  const BackendWindowDesc& d = it->second.desc;
  return RECT{d.x, d.y, d.x + d.width, d.y + d.height};
}

std::vector<RECT> HeadlessWindowShape(HWND h) {
  State& s = S();
  std::lock_guard<std::mutex> lock(s.mu);
  auto it = s.windows.find(h);
  return it == s.windows.end() ? std::vector<RECT>() : it->second.shape;
}

int HeadlessPresentCount(HWND h) {
  State& s = S();
  std::lock_guard<std::mutex> lock(s.mu);
  auto it = s.windows.find(h);
  return it == s.windows.end() ? 0 : it->second.presents;
}

void SetMessageBoxRecorder(MessageBoxRecorder recorder) {
  State& s = S();
  std::lock_guard<std::mutex> lock(s.mu);
  s.recorder = std::move(recorder);
}

MessageBoxRecorder GetMessageBoxRecorder() {
  State& s = S();
  std::lock_guard<std::mutex> lock(s.mu);
  return s.recorder;
}

void HeadlessLog(const std::string& line) {
  State& s = S();
  std::lock_guard<std::mutex> lock(s.mu);
  LogLocked(line);
}
