#include "winuser/window_manager.h"

#include <cstdlib>
#include <exception>

#include <win32/module.h>

TApplication* Application = nullptr;
TScreen* Screen = nullptr;

namespace {

struct LibraryInit {
  LibraryInit() {
    InitApplication();
    // Server libraries can paint into windows as soon as the library is loaded.
    InstallWindowSurfaceProvider();
    // No exit handler frees the forms: at that point other libraries' statics may
    // be gone. The program calls DoneApplication itself after WinMain.

  }
} g_library_init;

}  // namespace

void InitApplication() {
  if (!Screen) Screen = new TScreen(nullptr);
  if (!Application) Application = new TApplication(nullptr);
}

void DoneApplication() {
  if (TApplication* app = Application) {
    // Forms are freed (OnDestroy first) while the application object still exists.
    while (app->ComponentCount() > 0) FreeComponent(app->Components(app->ComponentCount() - 1));
    Application = nullptr;
    delete app;
    // Its Terminate left a quit message behind; it must not end the next application.
    WindowManager::Get().RemovePosted(nullptr, WM_QUIT);
  }
  if (TScreen* s = Screen) {
    Screen = nullptr;
    delete s;
  }
}

TApplication::TApplication(TComponent* owner) : TComponent(owner) {
  handle_ = AllocateHWnd([this](TMessage& m) {
    // The application's only timer waits for a hint or ends one.
    if (m.Msg == WM_TIMER) {
      HintTimer();
      return;
    }
    m.Result = DefWindowProcA(nullptr, m.Msg, m.WParam, m.LParam);
  });
  std::string exe = ModuleFileName();
  size_t slash = exe.find_last_of('/');
  title_ = slash == std::string::npos ? exe : exe.substr(slash + 1);
  size_t dot = title_.rfind('.');
  if (dot != std::string::npos && dot > 0) title_.resize(dot);
}

TApplication::~TApplication() {
  StopHintTimer();
  DeallocateHWnd(handle_);
}

void TApplication::Initialize() {
  if (initialized_) return;
  initialized_ = true;
  SetMainThread();
  const BackendOps& b = Backend();
  TThread::SetWakeMainThread([] { Backend().Wake(); });
  if (b.Clipboard)
    if (auto provider = b.Clipboard()) SetClipboardProvider(provider);
}

void TApplication::SetTitle(const std::string& t) { title_ = t; }

void TApplication::FormCreated(TCustomForm* form) {
  if (!main_form_) main_form_ = form;
  FinishLoading(form);
  form->AfterConstruction();
}

void TApplication::Run() {
  if (!initialized_) Initialize();
  running_ = true;
  try {
    if (main_form_ && ShowMainForm) main_form_->Show();
  } catch (...) {
    HandleException(this);
  }
  while (!terminated_) HandleMessage();
  running_ = false;
}

void TApplication::Terminate() {
  if (terminated_) return;
  terminated_ = true;
  PostQuitMessage(0);
}

bool TApplication::ProcessMessage(MSG& msg) {
  WindowManager& wm = WindowManager::Get();
  // A routine a worker had queued counts as work done: the loop must not wait now.
  bool synced = TThread::CheckSynchronize();
  wm.RunTimers();
  wm.PollInput();
  if (!wm.PeekPosted(&msg, nullptr, 0, 0, true)) return synced;
  if (msg.message == WM_QUIT) {
    terminated_ = true;
    return true;
  }
  // A press or a key ends a hint before anything it opens (a modal dialog) runs.
  HintMessage(msg, false);
  bool handled = false;
  if (OnMessage) OnMessage(msg, handled);
  if (!handled) {
    DispatchMessageA(&msg);
    HintMessage(msg, true);
  }
  return true;
}

// The one test before the loop sleeps. Whoever hands the loop work from another thread
// (Synchronize, PostMessage, a window painted there) queues it first and wakes the
// backend after: what was queued before this test is seen here, however many wake-ups
// the loop spent on the way (a handler that peeks at messages spends them), and what is
// queued after it ends the wait. Waiting input needs no test: the backend's wait
// returns at once while any is there. `waitMs` is how long the loop may sleep
// (-1: until something comes).
bool TApplication::HasWork(int* waitMs) {
  WindowManager& wm = WindowManager::Get();
  // Once terminated, loops stop waiting so that Run and modal forms end at once; a
  // message box shown while the program ends still waits for its answer.
  bool answer_awaited = !wm.modal_stack.empty() && !wm.modal_stack.back()->modal_ends_on_terminate_;
  if (terminated_ && !answer_awaited) return true;
  MSG peek;
  if (TThread::SynchronizePending() || wm.PeekPosted(&peek, nullptr, 0, 0, false) || wm.HasPendingPaint())
    return true;
  *waitMs = wm.NextTimerDue();
  return *waitMs == 0;
}

void TApplication::Idle() {
  WindowManager& wm = WindowManager::Get();
  wm.PaintAll();
  bool done = true;
  if (OnIdle) OnIdle(this, done);
  int wait = -1;
  if (!HasWork(&wait)) wm.WaitForInput(wait);
}

void TApplication::HandleMessage() {
  try {
    MSG msg;
    if (!ProcessMessage(msg)) Idle();
  } catch (...) {
    HandleException(this);
  }
}

void TApplication::ProcessMessages() {
  MSG msg;
  for (;;) {
    try {
      if (!ProcessMessage(msg)) break;
    } catch (...) {
      HandleException(this);
    }
  }
  try {
    WindowManager::Get().PaintAll();
    TThread::CheckSynchronize();
  } catch (...) {
    HandleException(this);
  }
}

void TApplication::ShowException(const Exception& e) {
  TCustomForm* owner = WindowManager::Get().active_form;
  MessageBoxA(owner ? owner->Handle() : nullptr, e.Message.c_str(), title_.c_str(), MB_OK | MB_ICONSTOP);
}

void TApplication::HandleException(TObject* sender) {
  std::exception_ptr p = std::current_exception();
  if (!p) return;
  try {
    std::rethrow_exception(p);
  } catch (const Exception& e) {
    if (OnException)
      OnException(sender, e);
    else
      ShowException(e);
  } catch (const std::exception& e) {
    Exception wrapped(e.what());
    if (OnException)
      OnException(sender, wrapped);
    else
      ShowException(wrapped);
  } catch (...) {
    Exception wrapped("");
    if (OnException)
      OnException(sender, wrapped);
    else
      ShowException(wrapped);
  }
}

int TApplication::MessageBox(const std::string& text, const std::string& caption, UINT flags) {
  TCustomForm* owner = WindowManager::Get().active_form;
  if (!owner) owner = main_form_;
  return MessageBoxA(owner ? owner->Handle() : nullptr, text.c_str(), caption.c_str(), flags);
}

void TApplication::Minimize() {
  if (main_form_) main_form_->SetWindowState(wsMinimized);
}

void TApplication::Restore() {
  if (main_form_) main_form_->SetWindowState(wsNormal);
}

void TApplication::BringToFront() {
  if (main_form_ && main_form_->Visible()) main_form_->SetFocus();
}

std::string TApplication::ExeName() const { return ModuleFileName(); }
