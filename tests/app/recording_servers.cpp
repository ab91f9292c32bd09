// The recording stand-ins for the outside servers: plain objects whose first word
// points to a table of methods built here, position by position.
#include "recording_servers.h"

#include <array>
#include <atomic>
#include <cstring>
#include <mutex>
#include <type_traits>
#include <utility>

#include <com/strings.h>
#include <outside/dvd.h>
#include <outside/encoders.h>

namespace recording {
namespace {

struct Object {
  void* const* table;  // what a caller's interface pointer reaches first
  Server server;
  const IID* iid;
  std::atomic<ULONG> refs{1};
  INT seek = 0;   // the data object's start position
  int reads = 0;  // and the pictures read since
};

std::mutex g_mutex;
Script g_script;
std::vector<Call> g_calls;
std::size_t g_nextSize = 0;
int g_shows = 0;
std::atomic<int> g_live{0};

void Record(Server server, int slot, std::vector<Arg> args) {
  std::lock_guard lock(g_mutex);
  g_calls.push_back({server, slot, std::move(args)});
}

Arg ToArg(BSTR text) { return BstrToUtf8(text); }
Arg ToArg(double value) { return value; }
template <class T>
  requires std::is_integral_v<T>
Arg ToArg(T value) {
  return static_cast<std::int64_t>(value);
}
template <class T>
Arg ToArg(T* pointer) {
  return static_cast<std::int64_t>(reinterpret_cast<std::intptr_t>(pointer));
}

// ---- Entries of the tables. Each takes the object and the arguments as the
// contract gives them for its position.

HRESULT STDMETHODCALLTYPE QueryInterface(Object* self, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IDispatch || iid == *self->iid) {
    ++self->refs;
    *out = self;
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE AddRef(Object* self) { return ++self->refs; }

ULONG STDMETHODCALLTYPE Release(Object* self) {
  const ULONG left = --self->refs;
  if (left == 0) {
    Record(self->server, kReleased, {});
    delete self;
    --g_live;
  }
  return left;
}

// A position the contract does not list (IDispatch's among them): recorded, refused.
template <std::size_t Slot>
HRESULT STDMETHODCALLTYPE Unlisted(Object* self) {
  Record(self->server, static_cast<int>(Slot), {});
  return E_NOTIMPL;
}

// A method that takes values only.
template <int Slot, class... A>
HRESULT STDMETHODCALLTYPE Method(Object* self, A... args) {
  Record(self->server, Slot, {ToArg(args)...});
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Seek(Object* self, INT position) {
  Record(self->server, 28, {ToArg(position)});
  self->seek = position;
  self->reads = 0;
  return S_OK;
}

// value1 carries a pointer, so it is pointer-sized.
HRESULT STDMETHODCALLTYPE ReadFrame(Object* self, BYTE* y, BYTE* u, BYTE* v, INT_PTR* value1, INT* value2) {
  Record(self->server, 29, {});
  if (self->reads >= 100000) return DVD_S_END_OF_TITLE;  // a run that never ends fails its test, not the machine
  int width, height;
  {
    std::lock_guard lock(g_mutex);
    width = g_script.sourceWidth;
    height = g_script.sourceHeight;
  }
  const int i = self->reads++;
  std::memset(y, 16 + i % 200, static_cast<std::size_t>(width) * height);
  std::memset(u, 128, static_cast<std::size_t>(width / 2) * (height / 2));
  std::memset(v, 128, static_cast<std::size_t>(width / 2) * (height / 2));
  *value1 = kSoundBase + i;
  *value2 = kSoundBytes + i;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE GetPosition(Object* self, INT* position) {
  Record(self->server, 31, {});
  *position = self->seek + (self->reads > 0 ? self->reads - 1 : 0);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE PaintOpen(Object* self, HWND window, INT width, INT height) {
  Record(self->server, 7, {ToArg(window), ToArg(width), ToArg(height)});
  std::lock_guard lock(g_mutex);
  return g_script.paintOpenResult;
}

HRESULT STDMETHODCALLTYPE ShowFrame(Object* self, INT width, INT height, BYTE* y, BYTE* u, BYTE* v, HWND window) {
  Record(self->server, 8, {ToArg(width), ToArg(height), ToArg(y), ToArg(u), ToArg(v), ToArg(window)});
  std::lock_guard lock(g_mutex);
  return ++g_shows == g_script.paintFailAt ? E_FAIL : S_OK;
}

template <int Slot>
HRESULT STDMETHODCALLTYPE GetFileSize(Object* self, double* size) {
  Record(self->server, Slot, {});
  std::lock_guard lock(g_mutex);
  *size = g_nextSize < g_script.fileSizes.size() ? g_script.fileSizes[g_nextSize++] : 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE GetCodecCount(Object* self, INT* count) {
  Record(self->server, 7, {});
  std::lock_guard lock(g_mutex);
  *count = static_cast<INT>(g_script.codecs.size());
  return S_OK;
}

HRESULT STDMETHODCALLTYPE GetCodecName(Object* self, INT index, BSTR* name) {
  Record(self->server, 8, {ToArg(index)});
  std::lock_guard lock(g_mutex);
  if (index < 0 || static_cast<std::size_t>(index) >= g_script.codecs.size()) return E_INVALIDARG;
  *name = SysAllocStringUtf8(g_script.codecs[static_cast<std::size_t>(index)].first);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE GetCodecId(Object* self, INT index, INT* id) {
  Record(self->server, 9, {ToArg(index)});
  std::lock_guard lock(g_mutex);
  if (index < 0 || static_cast<std::size_t>(index) >= g_script.codecs.size()) return E_INVALIDARG;
  *id = g_script.codecs[static_cast<std::size_t>(index)].second;
  return S_OK;
}

// ---- The tables, one entry per position.

template <std::size_t N>
using Table = std::array<void*, N>;

template <class F>
void* Entry(F* method) {
  return reinterpret_cast<void*>(method);
}

template <std::size_t... Slot>
Table<sizeof...(Slot)> UnlistedTable(std::index_sequence<Slot...>) {
  return {Entry(&Unlisted<Slot>)...};
}

// N positions, and recorded entries beyond them: a call past the contract's end
// shows in the record instead of jumping through whatever follows the table.
template <std::size_t N>
Table<N + 16> BaseTable() {
  Table<N + 16> t = UnlistedTable(std::make_index_sequence<N + 16>());
  t[0] = Entry(&QueryInterface);
  t[1] = Entry(&AddRef);
  t[2] = Entry(&Release);
  return t;
}

const Table<33 + 16> kDvdDataTable = [] {
  auto t = BaseTable<33>();
  t[8] = Entry(&Method<8, BSTR>);     // SetDvdPath
  t[10] = Entry(&Method<10, INT>);    // SetTitle
  t[12] = Entry(&Method<12, INT>);    // SetProgramChain
  t[14] = Entry(&Method<14, INT>);    // SetAudioStream
  t[16] = Entry(&Method<16, INT>);    // SetSubtitle
  t[18] = Entry(&Method<18, INT>);    // SetAngle
  t[20] = Entry(&Method<20, double>); // SetFrameRate
  t[22] = Entry(&Method<22, INT>);    // SetSampleRate
  t[24] = Entry(&Method<24, INT>);    // SetForce24
  t[27] = Entry(&Method<27>);         // Open
  t[28] = Entry(&Seek);
  t[29] = Entry(&ReadFrame);
  t[31] = Entry(&GetPosition);
  t[32] = Entry(&Method<32>);  // Close
  return t;
}();

const Table<9 + 16> kPicShowTable = [] {
  auto t = BaseTable<9>();
  t[7] = Entry(&PaintOpen);
  t[8] = Entry(&ShowFrame);
  return t;
}();

const Table<54 + 16> kMpegEncTable = [] {
  auto t = BaseTable<54>();
  t[8] = Entry(&Method<8, BSTR>);     // SetOutputFile
  t[10] = Entry(&Method<10, INT>);    // SetParameter10
  t[12] = Entry(&Method<12, INT>);    // SetParameter12
  t[16] = Entry(&Method<16, INT>);    // SetWidth
  t[18] = Entry(&Method<18, INT>);    // SetHeight
  t[22] = Entry(&Method<22, INT>);    // SetParameter22
  t[26] = Entry(&Method<26, INT>);    // SetParameter26
  t[30] = Entry(&Method<30, double>); // SetFrameRate
  t[32] = Entry(&Method<32, INT>);    // SetParameter32
  t[34] = Entry(&Method<34, INT>);    // SetParameter34
  t[42] = Entry(&Method<42, double>); // SetParameter42
  t[44] = Entry(&Method<44, INT>);    // SetParameter44
  t[48] = Entry(&Method<48, INT>);    // SetSampleRate
  t[49] = Entry(&Method<49>);         // Start
  t[50] = Entry(&Method<50, BYTE*, BYTE*, BYTE*, INT, INT, INT_PTR, INT>);  // EncodeFrame
  t[51] = Entry(&GetFileSize<51>);
  t[52] = Entry(&Method<52>);  // SizeLimitReached
  t[53] = Entry(&Method<53>);  // Finish
  return t;
}();

const Table<42 + 16> kAviEncodeTable = [] {
  auto t = BaseTable<42>();
  t[7] = Entry(&GetCodecCount);
  t[8] = Entry(&GetCodecName);
  t[9] = Entry(&GetCodecId);
  t[11] = Entry(&Method<11, INT>);     // SetCodec
  t[13] = Entry(&Method<13, BSTR>);    // SetOutputFile
  t[15] = Entry(&Method<15, INT>);     // SetWidth
  t[17] = Entry(&Method<17, INT>);     // SetHeight
  t[19] = Entry(&Method<19, double>);  // SetFrameRate
  t[21] = Entry(&Method<21, INT>);     // SetParameter21
  t[23] = Entry(&Method<23, INT>);     // SetParameter23
  t[25] = Entry(&Method<25, INT>);     // SetSampleRate
  t[27] = Entry(&Method<27, INT>);     // SetLameBitrate
  t[31] = Entry(&Method<31, BYTE>);    // SetLameQuality
  t[37] = Entry(&Method<37>);          // Start
  t[38] = Entry(&GetFileSize<38>);
  t[39] = Entry(&Method<39, BYTE*, INT_PTR, INT>);  // WriteFrame
  t[40] = Entry(&Method<40>);                       // SizeLimitReached
  t[41] = Entry(&Method<41>);                       // Finish
  return t;
}();

class Factory : public IClassFactory {
 public:
  Factory(Server server, const IID& iid, void* const* table) : server_(server), iid_(&iid), table_(table) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = iid == IID_IUnknown || iid == IID_IClassFactory ? this : nullptr;
    return *out ? S_OK : E_NOINTERFACE;
  }
  // The factories are static objects of the library.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    auto* object = new Object{table_, server_, iid_};
    ++g_live;
    Record(server_, kCreated, {});
    const HRESULT hr = recording::QueryInterface(object, iid, out);
    recording::Release(object);
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 private:
  Server server_;
  const IID* iid_;
  void* const* table_;
};

Factory g_dvdData(Server::DvdData, IID_IDVDDataObj, kDvdDataTable.data());
Factory g_picShow(Server::PicShow, IID_IPicShowObj, kPicShowTable.data());
Factory g_mpegEnc(Server::MpegEnc, IID_IMpegEnc, kMpegEncTable.data());
Factory g_aviEncode(Server::AviEncode, IID_IAVIEncode, kAviEncodeTable.data());

}  // namespace

void Reset(const Script& script) {
  std::lock_guard lock(g_mutex);
  g_script = script;
  g_calls.clear();
  g_nextSize = 0;
  g_shows = 0;
}

std::vector<Call> Calls() {
  std::lock_guard lock(g_mutex);
  return g_calls;
}

int LiveObjects() { return g_live.load(); }

}  // namespace recording

extern "C" RECORDING_API HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  using namespace recording;
  if (!out) return E_POINTER;
  *out = nullptr;
  Factory* factory = clsid == CLSID_DVDDataObj  ? &g_dvdData
                     : clsid == CLSID_PicShowObj ? &g_picShow
                     : clsid == CLSID_MpegEnc    ? &g_mpegEnc
                     : clsid == CLSID_AVIEncode  ? &g_aviEncode
                                                 : nullptr;
  return factory ? factory->QueryInterface(iid, out) : CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" RECORDING_API HRESULT DllCanUnloadNow() { return S_FALSE; }
