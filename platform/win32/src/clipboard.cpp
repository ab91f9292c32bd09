#include <win32/clipboard.h>
#include <win32/errors.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

ClipboardProvider::~ClipboardProvider() = default;

namespace {

// ---- global memory ------------------------------------------------------------------

struct Block {
  void* data = nullptr;
  SIZE_T size = 0;
  bool moveable = false;
  int locks = 0;
};

struct BlockTable {
  std::mutex mutex;
  // Moveable blocks are keyed by a handle of their own, fixed blocks by their memory.
  std::unordered_map<void*, Block*> blocks;
};

// Never destroyed: blocks may be freed by exit handlers of other libraries.
BlockTable& Blocks() {
  static BlockTable* table = new BlockTable;
  return *table;
}

// The block of a handle; an unknown handle sets ERROR_INVALID_HANDLE and answers null.
Block* FindBlock(HGLOBAL h) {
  auto it = Blocks().blocks.find(h);
  if (it != Blocks().blocks.end()) return it->second;
  SetLastError(ERROR_INVALID_HANDLE);
  return nullptr;
}

// ---- clipboard ------------------------------------------------------------------------

class MemoryClipboard final : public ClipboardProvider {
 public:
  std::optional<std::string> GetText() override {
    std::lock_guard lock(mutex_);
    return text_;
  }
  bool SetText(const std::string& text) override {
    std::lock_guard lock(mutex_);
    text_ = text;
    return true;
  }
  void Clear() override {
    std::lock_guard lock(mutex_);
    text_.reset();
  }

 private:
  std::mutex mutex_;
  std::optional<std::string> text_;
};

struct ClipboardState {
  std::mutex mutex;
  std::shared_ptr<ClipboardProvider> builtIn = std::make_shared<MemoryClipboard>();
  std::shared_ptr<ClipboardProvider> provider = builtIn;
  bool open = false;
  std::thread::id owner;
  // Handles given out or taken while the clipboard is open; freed when it closes.
  std::vector<HGLOBAL> handles;
};

ClipboardState& Clip() {
  static ClipboardState* state = new ClipboardState;  // never destroyed, like the block table
  return *state;
}

bool OwnedByCaller(ClipboardState& c) { return c.open && c.owner == std::this_thread::get_id(); }

}  // namespace

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
  auto* b = new Block;
  b->size = bytes;
  b->moveable = (flags & GMEM_MOVEABLE) != 0;
  b->data = (flags & GMEM_ZEROINIT) ? std::calloc(bytes ? bytes : 1, 1) : std::malloc(bytes ? bytes : 1);
  if (b->data == nullptr) {
    delete b;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  HGLOBAL h = b->moveable ? static_cast<HGLOBAL>(b) : b->data;
  std::lock_guard lock(Blocks().mutex);
  Blocks().blocks[h] = b;
  return h;
}

LPVOID GlobalLock(HGLOBAL mem) {
  std::lock_guard lock(Blocks().mutex);
  Block* b = FindBlock(mem);
  if (b == nullptr) return nullptr;
  if (b->moveable) ++b->locks;
  return b->data;
}

BOOL GlobalUnlock(HGLOBAL mem) {
  std::lock_guard lock(Blocks().mutex);
  Block* b = FindBlock(mem);
  if (b == nullptr) return FALSE;
  if (!b->moveable || b->locks == 0) {
    SetLastError(ERROR_NOT_LOCKED);
    return FALSE;
  }
  --b->locks;
  SetLastError(ERROR_SUCCESS);
  return b->locks > 0 ? TRUE : FALSE;
}

HGLOBAL GlobalFree(HGLOBAL mem) {
  if (mem == nullptr) return nullptr;
  Block* b = nullptr;
  {
    std::lock_guard lock(Blocks().mutex);
    auto it = Blocks().blocks.find(mem);
    if (it == Blocks().blocks.end()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return mem;
    }
    b = it->second;
    Blocks().blocks.erase(it);
  }
  std::free(b->data);
  delete b;
  return nullptr;
}

SIZE_T GlobalSize(HGLOBAL mem) {
  std::lock_guard lock(Blocks().mutex);
  Block* b = FindBlock(mem);
  if (b == nullptr) return 0;
  return b->size;
}

BOOL OpenClipboard(HWND) {
  ClipboardState& c = Clip();
  std::lock_guard lock(c.mutex);
  if (c.open && c.owner != std::this_thread::get_id()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  c.open = true;
  c.owner = std::this_thread::get_id();
  return TRUE;
}

BOOL CloseClipboard() {
  ClipboardState& c = Clip();
  std::vector<HGLOBAL> handles;
  {
    std::lock_guard lock(c.mutex);
    if (!OwnedByCaller(c)) {
      SetLastError(ERROR_CLIPBOARD_NOT_OPEN);
      return FALSE;
    }
    // One close ends the opening, however often the thread opened it.
    c.open = false;
    handles.swap(c.handles);
  }
  for (HGLOBAL h : handles) GlobalFree(h);
  return TRUE;
}

// The provider that serves the calling thread, when that thread has the clipboard open.
// Providers are called without our lock held: one may wait for the GUI thread.
static std::shared_ptr<ClipboardProvider> ProviderForOwner() {
  ClipboardState& c = Clip();
  std::lock_guard lock(c.mutex);
  if (!OwnedByCaller(c)) {
    SetLastError(ERROR_CLIPBOARD_NOT_OPEN);
    return nullptr;
  }
  return c.provider;
}

static void KeepUntilClose(HGLOBAL h) {
  ClipboardState& c = Clip();
  std::lock_guard lock(c.mutex);
  c.handles.push_back(h);
}

BOOL EmptyClipboard() {
  std::shared_ptr<ClipboardProvider> provider = ProviderForOwner();
  if (!provider) return FALSE;
  provider->Clear();
  return TRUE;
}

BOOL IsClipboardFormatAvailable(UINT format) {
  if (format != CF_TEXT) return FALSE;
  ClipboardState& c = Clip();
  std::shared_ptr<ClipboardProvider> provider;
  {
    std::lock_guard lock(c.mutex);
    provider = c.provider;
  }
  return provider->GetText().has_value() ? TRUE : FALSE;
}

HANDLE GetClipboardData(UINT format) {
  std::shared_ptr<ClipboardProvider> provider = ProviderForOwner();
  if (!provider || format != CF_TEXT) return nullptr;
  std::optional<std::string> text = provider->GetText();
  if (!text) return nullptr;
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, text->size() + 1);
  if (h == nullptr) return nullptr;
  void* p = GlobalLock(h);
  std::memcpy(p, text->c_str(), text->size() + 1);
  GlobalUnlock(h);
  KeepUntilClose(h);
  return h;
}

HANDLE SetClipboardData(UINT format, HANDLE mem) {
  std::shared_ptr<ClipboardProvider> provider = ProviderForOwner();
  if (!provider) return nullptr;
  // Only text is kept, and it is rendered at once (no delayed rendering).
  if (format != CF_TEXT || mem == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  SIZE_T size = GlobalSize(mem);
  const char* p = static_cast<const char*>(GlobalLock(mem));
  if (p == nullptr) return nullptr;
  // The text ends at its NUL or at the end of the block, never beyond it.
  size_t len = size == 0 ? 0 : strnlen(p, size);
  std::string text(p, len);
  GlobalUnlock(mem);
  if (!provider->SetText(text)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  KeepUntilClose(mem);
  return mem;
}

std::shared_ptr<ClipboardProvider> SetClipboardProvider(std::shared_ptr<ClipboardProvider> provider) {
  ClipboardState& c = Clip();
  std::lock_guard lock(c.mutex);
  std::shared_ptr<ClipboardProvider> previous = c.provider;
  c.provider = provider ? std::move(provider) : c.builtIn;
  return previous;
}
