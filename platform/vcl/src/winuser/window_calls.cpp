// The Win32 call layer: sending, posting and dispatching messages, the default and
// the replaceable window procedures, window longs, window state and geometry, system
// metrics, and window procedures that call methods.
#include "window_manager.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

TControl* FindControl(HWND handle) {
  if (!handle) return nullptr;
  auto rec = WindowManager::Get().Find(handle);
  return rec ? rec->control : nullptr;
}

LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!TThread::IsMainThread()) {
    LRESULT r = 0;
    if (!WindowManager::Get().Find(hwnd)) return 0;
    TThread::Synchronize(nullptr, [&] { r = SendMessageA(hwnd, msg, wParam, lParam); });
    return r;
  }
  auto rec = WindowManager::Get().Find(hwnd);
  if (!rec) return 0;
  return rec->proc(hwnd, msg, wParam, lParam);
}

BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  WindowManager& wm = WindowManager::Get();
  if (hwnd && !wm.Find(hwnd)) return FALSE;
  wm.Post(MSG{hwnd, msg, wParam, lParam, 0, {}});
  return TRUE;
}

void PostQuitMessage(int exitCode) {
  WindowManager::Get().Post(MSG{nullptr, WM_QUIT, static_cast<WPARAM>(exitCode), 0, 0, {}});
}

BOOL PeekMessageA(MSG* msg, HWND hwnd, UINT min, UINT max, UINT remove) {
  WindowManager& wm = WindowManager::Get();
  wm.PollInput();
  return wm.PeekPosted(msg, hwnd, min, max, (remove & PM_REMOVE) != 0) ? TRUE : FALSE;
}

LRESULT DispatchMessageA(const MSG* msg) {
  if (msg->message == WM_TIMER && msg->lParam) {
    auto proc = reinterpret_cast<TIMERPROC>(msg->lParam);
    proc(msg->hwnd, WM_TIMER, msg->wParam, msg->time);
    return 0;
  }
  if (!msg->hwnd) return 0;
  if (msg->message >= WM_MOUSEFIRST && msg->message <= WM_MOUSELAST && msg->message != WM_MOUSEWHEEL) {
    try {
      WindowManager::Get().UpdateHover(msg->hwnd, TPoint(msg->pt));
    } catch (...) {
      if (Application) Application->HandleException(nullptr);
    }
  }
  return SendMessageA(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL TranslateMessage(const MSG*) {
  // Characters arrive from the backend as their own events already.
  return FALSE;
}

LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  WindowManager& wm = WindowManager::Get();
  TControl* c = FindControl(hwnd);
  switch (msg) {
    case WM_NCHITTEST:
      return HTCLIENT;
    case WM_NCLBUTTONDOWN:
      if (wParam == static_cast<WPARAM>(HTCAPTION) ||
          (wParam >= static_cast<WPARAM>(HTLEFT) && wParam <= static_cast<WPARAM>(HTBOTTOMRIGHT)))
        wm.BeginMoveSize(TopLevelForm(c), static_cast<LRESULT>(wParam));
      return 0;
    case WM_SYSCOMMAND: {
      TCustomForm* f = TopLevelForm(c);
      if (!f) return 0;
      switch (wParam & 0xFFF0) {
        case SC_MINIMIZE: f->SetWindowState(wsMinimized); break;
        case SC_MAXIMIZE: f->SetWindowState(wsMaximized); break;
        case SC_RESTORE: f->SetWindowState(wsNormal); break;
        case SC_CLOSE: PostMessageA(f->Handle(), WM_CLOSE, 0, 0); break;
        case SC_MOVE: wm.BeginMoveSize(f, HTCAPTION); break;
        default: break;
      }
      return 0;
    }
    case WM_CONTEXTMENU:
    case WM_MOUSEWHEEL:
      // Unhandled: the parent window may want it.
      if (c && c->Parent()) return SendMessageA(c->Parent()->Handle(), msg, wParam, lParam);
      return 0;
    case WM_GETTEXTLENGTH:
      return c ? static_cast<LRESULT>(c->GetText().size()) : 0;
    case WM_GETTEXT: {
      if (!c || !lParam || wParam == 0) return 0;
      std::string t = c->GetText();
      size_t n = std::min<size_t>(t.size(), wParam - 1);
      std::memcpy(reinterpret_cast<char*>(lParam), t.data(), n);
      reinterpret_cast<char*>(lParam)[n] = 0;
      return static_cast<LRESULT>(n);
    }
    case WM_SETTEXT:
      if (c) c->SetText(lParam ? reinterpret_cast<const char*>(lParam) : "");
      return TRUE;
    case WM_SETCURSOR:
      return 0;
    case WM_CLOSE:
      return 0;
    default:
      return 0;
  }
}

LRESULT CallWindowProcA(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!proc) return DefWindowProcA(hwnd, msg, wParam, lParam);
  return proc(hwnd, msg, wParam, lParam);
}

LONG_PTR SetWindowLongA(HWND hwnd, int index, LONG_PTR value) {
  auto rec = WindowManager::Get().Find(hwnd);
  if (!rec) return 0;
  LONG_PTR old = 0;
  switch (index) {
    case GWL_WNDPROC:
      old = reinterpret_cast<LONG_PTR>(rec->proc);
      rec->proc = value ? reinterpret_cast<WNDPROC>(value) : StdWndProc;
      break;
    case GWL_USERDATA:
      old = rec->userdata;
      rec->userdata = value;
      break;
    case GWL_ID:
      old = rec->id;
      rec->id = value;
      break;
    case GWL_EXSTYLE:
      // The bits that follow from the form's own properties are not stored.
      old = GetWindowLongA(hwnd, GWL_EXSTYLE);
      rec->exstyle = value & ~(WS_EX_TOPMOST | WS_EX_TOOLWINDOW);
      break;
    default:
      break;
  }
  return old;
}

LONG_PTR GetWindowLongA(HWND hwnd, int index) {
  auto rec = WindowManager::Get().Find(hwnd);
  if (!rec) return 0;
  switch (index) {
    case GWL_WNDPROC:
      return reinterpret_cast<LONG_PTR>(rec->proc);
    case GWL_USERDATA:
      return rec->userdata;
    case GWL_ID:
      return rec->id;
    case GWL_STYLE: {
      LONG_PTR s = 0;
      TControl* c = rec->control;
      if (!c) return 0;
      if (c->Parent()) s |= WS_CHILD;
      if (c->Visible()) s |= WS_VISIBLE;
      if (!c->Enabled()) s |= WS_DISABLED;
      if (auto* f = dynamic_cast<TCustomForm*>(c)) {
        if (f->BorderStyle() == bsNone) s |= WS_POPUP;
        else s |= WS_CAPTION;
        if (f->BorderStyle() == bsSizeable || f->BorderStyle() == bsSizeToolWin) s |= WS_THICKFRAME;
        if (f->BorderIcons().Contains(biSystemMenu)) s |= WS_SYSMENU;
        if (f->BorderIcons().Contains(biMinimize)) s |= WS_MINIMIZEBOX;
        if (f->BorderIcons().Contains(biMaximize)) s |= WS_MAXIMIZEBOX;
      }
      return s;
    }
    case GWL_EXSTYLE: {
      auto* f = dynamic_cast<TCustomForm*>(rec->control);
      LONG_PTR s = rec->exstyle;
      if (f && f->FormStyle() == fsStayOnTop) s |= WS_EX_TOPMOST;
      if (f && (f->BorderStyle() == bsToolWindow || f->BorderStyle() == bsSizeToolWin)) s |= WS_EX_TOOLWINDOW;
      return s;
    }
    default:
      return 0;
  }
}

HWND AllocateHWnd(TWndMethod method) { return WindowManager::Get().Register(nullptr, std::move(method)); }

void DeallocateHWnd(HWND hwnd) { WindowManager::Get().Unregister(hwnd); }

HWND GetParent(HWND hwnd) {
  TControl* c = FindControl(hwnd);
  return c && c->Parent() ? c->Parent()->Handle() : nullptr;
}

BOOL IsWindowVisible(HWND hwnd) {
  TControl* c = FindControl(hwnd);
  return c && c->Showing();
}

BOOL IsWindowEnabled(HWND hwnd) {
  TControl* c = FindControl(hwnd);
  return c && c->Enabled();
}

BOOL EnableWindow(HWND hwnd, BOOL enable) {
  if (!TThread::IsMainThread()) return OnGuiThread([&] { return EnableWindow(hwnd, enable); });
  TControl* c = FindControl(hwnd);
  if (!c) return FALSE;
  BOOL wasDisabled = !c->Enabled();
  c->SetEnabled(enable != 0);
  return wasDisabled;
}

BOOL ShowWindow(HWND hwnd, int cmd) {
  if (!TThread::IsMainThread()) return OnGuiThread([&] { return ShowWindow(hwnd, cmd); });
  TControl* c = FindControl(hwnd);
  if (!c) return FALSE;
  BOOL was = c->Visible();
  auto* f = dynamic_cast<TCustomForm*>(c);
  switch (cmd) {
    case SW_HIDE: c->SetVisible(false); break;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
      if (f) f->SetWindowState(wsMinimized);
      break;
    case SW_SHOWMAXIMIZED:
      if (f) f->SetWindowState(wsMaximized);
      c->SetVisible(true);
      break;
    case SW_RESTORE:
      if (f) f->SetWindowState(wsNormal);
      c->SetVisible(true);
      break;
    default: c->SetVisible(true); break;
  }
  return was;
}

BOOL GetClientRect(HWND hwnd, RECT* rect) {
  TControl* c = FindControl(hwnd);
  if (!c || !rect) return FALSE;
  TRect r = c->ClientRect();
  *rect = RECT{0, 0, r.Width(), r.Height()};
  return TRUE;
}

BOOL GetWindowRect(HWND hwnd, RECT* rect) {
  TControl* c = FindControl(hwnd);
  if (!c || !rect) return FALSE;
  TPoint p = c->Parent() ? c->Parent()->ClientToScreen(TPoint(c->Left(), c->Top())) : TPoint(c->Left(), c->Top());
  *rect = RECT{p.X, p.Y, p.X + c->Width(), p.Y + c->Height()};
  return TRUE;
}

BOOL ScreenToClient(HWND hwnd, POINT* point) {
  TControl* c = FindControl(hwnd);
  if (!c || !point) return FALSE;
  TPoint p = c->ScreenToClient(TPoint(*point));
  *point = p;
  return TRUE;
}

BOOL ClientToScreen(HWND hwnd, POINT* point) {
  TControl* c = FindControl(hwnd);
  if (!c || !point) return FALSE;
  TPoint p = c->ClientToScreen(TPoint(*point));
  *point = p;
  return TRUE;
}


int GetSystemMetrics(int index) {
  int w = 0, h = 0;
  switch (index) {
    case SM_CXSCREEN: Backend().ScreenSize(&w, &h); return w;
    case SM_CYSCREEN: Backend().ScreenSize(&w, &h); return h;
    case SM_CXVSCROLL: case SM_CYHSCROLL: return 16;
    case SM_CYCAPTION: return 19;
    case SM_CYSMCAPTION: return 15;
    case SM_CXBORDER: case SM_CYBORDER: return 1;
    case SM_CXDLGFRAME: case SM_CYDLGFRAME: return 3;
    case SM_CXFRAME: case SM_CYFRAME: return 4;
    case SM_CXDOUBLECLK: case SM_CYDOUBLECLK: return 4;
    case SM_CYMENU: return 19;
    default: return 0;
  }
}

namespace {

LOGFONTA SystemFont(LONG height, LONG weight) {
  LOGFONTA lf{};
  lf.lfHeight = height;
  lf.lfWeight = weight;
  lf.lfCharSet = DEFAULT_CHARSET;
  std::strncpy(lf.lfFaceName, "Tahoma", LF_FACESIZE - 1);
  return lf;
}

}  // namespace

BOOL SystemParametersInfoA(UINT action, UINT param, void* out, UINT) {
  if (action == SPI_GETWORKAREA && out) {
    Backend().WorkArea(static_cast<RECT*>(out));
    return TRUE;
  }
  if (action == SPI_GETNONCLIENTMETRICS && out) {
    auto* m = static_cast<NONCLIENTMETRICSA*>(out);
    // Both sizes must cover the record, as the system insists.
    if (param < sizeof(NONCLIENTMETRICSA) || m->cbSize < sizeof(NONCLIENTMETRICSA)) return FALSE;
    m->iBorderWidth = 1;
    m->iScrollWidth = m->iScrollHeight = GetSystemMetrics(SM_CXVSCROLL);
    m->iCaptionWidth = m->iCaptionHeight = GetSystemMetrics(SM_CYCAPTION) - 1;
    m->lfCaptionFont = SystemFont(-11, FW_BOLD);
    m->iSmCaptionWidth = m->iSmCaptionHeight = GetSystemMetrics(SM_CYSMCAPTION) - 1;
    m->lfSmCaptionFont = SystemFont(-11, FW_BOLD);
    m->iMenuWidth = m->iMenuHeight = GetSystemMetrics(SM_CYMENU) - 1;
    m->lfMenuFont = SystemFont(-11, FW_NORMAL);
    m->lfStatusFont = SystemFont(-11, FW_NORMAL);
    m->lfMessageFont = SystemFont(-11, FW_NORMAL);
    return TRUE;
  }
  return FALSE;
}

BOOL MessageBeep(UINT) { return TRUE; }

// --- Object instances: window procedures that call methods ---------------------------
// A fixed pool of plain functions, each bound to one slot of a table, stands in for
// generated code: a WNDPROC must be an ordinary function pointer.
namespace {

constexpr std::size_t kObjectInstances = 1024;

struct InstanceSlot {
  std::shared_ptr<TWndMethod> method;  // null: free
};

std::mutex instances_mu;
InstanceSlot* Slots() {
  static auto* slots = new InstanceSlot[kObjectInstances];  // lives until the process ends
  return slots;
}

LRESULT CallInstance(std::size_t slot, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<TWndMethod> method;
  {
    std::lock_guard<std::mutex> lock(instances_mu);
    method = Slots()[slot].method;
  }
  // A freed instance that a window still calls behaves as the default procedure.
  if (!method || !*method) return DefWindowProcA(hwnd, msg, wParam, lParam);
  TMessage m{msg, wParam, lParam, 0};
  try {
    (*method)(m);
  } catch (...) {
    if (Application) Application->HandleException(FindControl(hwnd));
  }
  return m.Result;
}

template <std::size_t N>
LRESULT InstanceProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return CallInstance(N, hwnd, msg, wParam, lParam);
}

template <std::size_t... N>
constexpr std::array<WNDPROC, sizeof...(N)> MakeInstanceProcs(std::index_sequence<N...>) {
  return {&InstanceProc<N>...};
}

constexpr auto kInstanceProcs = MakeInstanceProcs(std::make_index_sequence<kObjectInstances>());

}  // namespace

WNDPROC MakeObjectInstance(TWndMethod method) {
  std::lock_guard<std::mutex> lock(instances_mu);
  for (std::size_t i = 0; i < kObjectInstances; ++i) {
    if (!Slots()[i].method) {
      Slots()[i].method = std::make_shared<TWndMethod>(std::move(method));
      return kInstanceProcs[i];
    }
  }
  throw EOutOfResources("Too many object instances");
}

void FreeObjectInstance(WNDPROC instance) {
  std::lock_guard<std::mutex> lock(instances_mu);
  for (std::size_t i = 0; i < kObjectInstances; ++i)
    if (kInstanceProcs[i] == instance) Slots()[i].method.reset();
}
