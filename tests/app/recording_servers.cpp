// The recording stand-ins for the outside servers: plain objects whose first word
// points to a table of methods built here, position by position.
#include "recording_servers.h"

#include <array>
#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <type_traits>
#include <typeinfo>
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
std::map<std::pair<Server, int>, int> g_slotCalls;  // calls so far, by server and slot
std::atomic<int> g_live{0};

// Records the call and answers what the script says for it.
HRESULT Record(Server server, int slot, std::vector<Arg> args) {
  std::lock_guard lock(g_mutex);
  g_calls.push_back({server, slot, std::move(args)});
  const int call = ++g_slotCalls[{server, slot}];
  for (const Failure& f : g_script.failures)
    if (f.server == server && f.slot == slot && f.call == call) return E_FAIL;
  return S_OK;
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
  return Record(self->server, Slot, {ToArg(args)...});
}

HRESULT STDMETHODCALLTYPE Seek(Object* self, INT position) {
  if (const HRESULT hr = Record(self->server, 28, {ToArg(position)}); hr < 0) return hr;
  self->seek = position;
  self->reads = 0;
  return S_OK;
}

// value1 carries a pointer, so it is pointer-sized.
HRESULT STDMETHODCALLTYPE ReadFrame(Object* self, BYTE* y, BYTE* u, BYTE* v, INT_PTR* value1, INT* value2) {
  if (const HRESULT hr = Record(self->server, 29, {}); hr < 0) return hr;
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
  if (const HRESULT hr = Record(self->server, 31, {}); hr < 0) return hr;
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
  if (const HRESULT hr = Record(self->server, Slot, {}); hr < 0) return hr;
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

// Positions 0..N-1 of the contract, and recorded entries beyond them, so that a
// call past the contract's end shows in the record instead of jumping through
// whatever follows. Before the first entry, as the C++ ABI lays out a table of
// methods: the offset to the whole object and the object's type, which the
// callers' sanitizer checks.
template <std::size_t N>
struct Table {
  const void* prefix[2];
  std::array<void*, N + 16> slots;
};

template <class F>
void* Entry(F* method) {
  return reinterpret_cast<void*>(method);
}

template <std::size_t... Slot>
std::array<void*, sizeof...(Slot)> UnlistedEntries(std::index_sequence<Slot...>) {
  return {Entry(&Unlisted<Slot>)...};
}

template <std::size_t N>
Table<N> BaseTable(const std::type_info& type) {
  Table<N> t{{nullptr, &type}, UnlistedEntries(std::make_index_sequence<N + 16>())};
  t.slots[0] = Entry(&QueryInterface);
  t.slots[1] = Entry(&AddRef);
  t.slots[2] = Entry(&Release);
  return t;
}

const Table<33> kDvdDataTable = [] {
  auto t = BaseTable<33>(typeid(IDVDDataObj));
  t.slots[8] = Entry(&Method<8, BSTR>);     // SetDvdPath
  t.slots[10] = Entry(&Method<10, INT>);    // SetTitle
  t.slots[12] = Entry(&Method<12, INT>);    // SetProgramChain
  t.slots[14] = Entry(&Method<14, INT>);    // SetAudioStream
  t.slots[16] = Entry(&Method<16, INT>);    // SetSubtitle
  t.slots[18] = Entry(&Method<18, INT>);    // SetAngle
  t.slots[20] = Entry(&Method<20, double>); // SetFrameRate
  t.slots[22] = Entry(&Method<22, INT>);    // SetSampleRate
  t.slots[24] = Entry(&Method<24, INT>);    // SetForce24
  t.slots[27] = Entry(&Method<27>);         // Open
  t.slots[28] = Entry(&Seek);
  t.slots[29] = Entry(&ReadFrame);
  t.slots[31] = Entry(&GetPosition);
  t.slots[32] = Entry(&Method<32>);  // Close
  return t;
}();

const Table<9> kPicShowTable = [] {
  auto t = BaseTable<9>(typeid(IPicShowObj));
  t.slots[7] = Entry(&PaintOpen);
  t.slots[8] = Entry(&ShowFrame);
  return t;
}();

const Table<54> kMpegEncTable = [] {
  auto t = BaseTable<54>(typeid(IMpegEnc));
  t.slots[8] = Entry(&Method<8, BSTR>);     // SetOutputFile
  t.slots[10] = Entry(&Method<10, INT>);    // SetParameter10
  t.slots[12] = Entry(&Method<12, INT>);    // SetParameter12
  t.slots[16] = Entry(&Method<16, INT>);    // SetWidth
  t.slots[18] = Entry(&Method<18, INT>);    // SetHeight
  t.slots[22] = Entry(&Method<22, INT>);    // SetParameter22
  t.slots[26] = Entry(&Method<26, INT>);    // SetParameter26
  t.slots[30] = Entry(&Method<30, double>); // SetFrameRate
  t.slots[32] = Entry(&Method<32, INT>);    // SetParameter32
  t.slots[34] = Entry(&Method<34, INT>);    // SetParameter34
  t.slots[42] = Entry(&Method<42, double>); // SetParameter42
  t.slots[44] = Entry(&Method<44, INT>);    // SetParameter44
  t.slots[48] = Entry(&Method<48, INT>);    // SetSampleRate
  t.slots[49] = Entry(&Method<49>);         // Start
  t.slots[50] = Entry(&Method<50, BYTE*, BYTE*, BYTE*, INT, INT, INT_PTR, INT>);  // EncodeFrame
  t.slots[51] = Entry(&GetFileSize<51>);
  t.slots[52] = Entry(&Method<52>);  // SizeLimitReached
  t.slots[53] = Entry(&Method<53>);  // Finish
  return t;
}();

const Table<42> kAviEncodeTable = [] {
  auto t = BaseTable<42>(typeid(IAVIEncode));
  t.slots[7] = Entry(&GetCodecCount);
  t.slots[8] = Entry(&GetCodecName);
  t.slots[9] = Entry(&GetCodecId);
  t.slots[11] = Entry(&Method<11, INT>);     // SetCodec
  t.slots[13] = Entry(&Method<13, BSTR>);    // SetOutputFile
  t.slots[15] = Entry(&Method<15, INT>);     // SetWidth
  t.slots[17] = Entry(&Method<17, INT>);     // SetHeight
  t.slots[19] = Entry(&Method<19, double>);  // SetFrameRate
  t.slots[21] = Entry(&Method<21, INT>);     // SetParameter21
  t.slots[23] = Entry(&Method<23, INT>);     // SetParameter23
  t.slots[25] = Entry(&Method<25, INT>);     // SetSampleRate
  t.slots[27] = Entry(&Method<27, INT>);     // SetLameBitrate
  t.slots[31] = Entry(&Method<31, BYTE>);    // SetLameQuality
  t.slots[37] = Entry(&Method<37>);          // Start
  t.slots[38] = Entry(&GetFileSize<38>);
  t.slots[39] = Entry(&Method<39, BYTE*, INT_PTR, INT>);  // WriteFrame
  t.slots[40] = Entry(&Method<40>);                       // SizeLimitReached
  t.slots[41] = Entry(&Method<41>);                       // Finish
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

Factory g_dvdData(Server::DvdData, IID_IDVDDataObj, kDvdDataTable.slots.data());
Factory g_picShow(Server::PicShow, IID_IPicShowObj, kPicShowTable.slots.data());
Factory g_mpegEnc(Server::MpegEnc, IID_IMpegEnc, kMpegEncTable.slots.data());
Factory g_aviEncode(Server::AviEncode, IID_IAVIEncode, kAviEncodeTable.slots.data());

}  // namespace

void Reset(const Script& script) {
  std::lock_guard lock(g_mutex);
  g_script = script;
  g_calls.clear();
  g_nextSize = 0;
  g_shows = 0;
  g_slotCalls.clear();
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
