// PICTUREUTL as a client sees it: registered into a temporary registry with the
// regsvr tool, created by class identifier, called through its virtual table.
#include <zentra/picture_util.h>

#include <com/comptr.h>
#include <com/errorinfo.h>
#include <com/registry.h>
#include <com/strings.h>
#include <support/files.h>
#include <win32/clipboard.h>

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <set>
#include <string>

#include "models.h"

using namespace zentra_test;

namespace {

const char* kClassKey = "CLSID\\{A7220B29-6598-499A-948E-70FF65FE662E}";

// The build's bin folder: the test executable lives there too.
std::string BinDir() { return quill_test::BuildBin().string(); }
std::string LibraryPath() { return BinDir() + "/libZENTRA.so"; }

int RunRegsvr(const std::string& args) {
  std::string cmd = "'" + BinDir() + "/regsvr' " + args + " >/dev/null 2>&1";
  return std::system(cmd.c_str());
}

class PictureServer : public ::testing::Test {
 protected:
  void SetUp() override {
    char path[] = "/tmp/zentra-registry-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    registry_ = path;
    setenv("QUILLMERE_REGISTRY", registry_.c_str(), 1);
    ASSERT_EQ(RunRegsvr("'" + LibraryPath() + "'"), 0);
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
  }
  void TearDown() override {
    CoUninitialize();
    std::remove(registry_.c_str());
    std::remove((registry_ + ".lock").c_str());
  }

  qcom::ComPtr<IPICTUREUTL> Create() {
    qcom::ComPtr<IPICTUREUTL> p;
    EXPECT_EQ(CoCreateInstance(CLSID_PICTUREUTL, nullptr, CLSCTX_ALL, IID_IPICTUREUTL, p.put_void()), S_OK);
    return p;
  }

  std::string registry_;
};

// A method by its slot in the virtual table.
template <class Fn>
Fn Slot(IUnknown* p, int index) {
  return reinterpret_cast<Fn>((*reinterpret_cast<void***>(p))[index]);
}

TEST_F(PictureServer, RegistrationWritesTheClassAndBothProgIds) {
  qcom::RegistryTree tree;
  ASSERT_EQ(qcom::RegistryLoad(&tree), S_OK);
  EXPECT_EQ(tree.GetValue("ZENTRA.PICTUREUTL.1"), "PICTUREUTL Class");
  EXPECT_EQ(tree.GetValue("ZENTRA.PICTUREUTL.1\\CLSID"), "{A7220B29-6598-499A-948E-70FF65FE662E}");
  EXPECT_EQ(tree.GetValue("ZENTRA.PICTUREUTL\\CurVer"), "ZENTRA.PICTUREUTL.1");
  EXPECT_EQ(tree.GetValue("ZENTRA.PICTUREUTL\\CLSID"), "{A7220B29-6598-499A-948E-70FF65FE662E}");
  const std::string key = kClassKey;
  EXPECT_EQ(tree.GetValue(key), "PICTUREUTL Class");
  EXPECT_EQ(tree.GetValue(key + "\\ProgID"), "ZENTRA.PICTUREUTL.1");
  EXPECT_EQ(tree.GetValue(key + "\\VersionIndependentProgID"), "ZENTRA.PICTUREUTL");
  EXPECT_TRUE(tree.KeyExists(key + "\\Programmable"));
  EXPECT_EQ(tree.GetValue(key + "\\TypeLib"), "{07AAB75E-71A3-4EA6-B9D4-EB6D21D78236}");
  EXPECT_EQ(tree.GetValue(key + "\\InprocServer32", "ThreadingModel"), "Apartment");
  std::string module = tree.GetValue(key + "\\InprocServer32").value_or("");
  char real[4096];
  ASSERT_NE(realpath(LibraryPath().c_str(), real), nullptr);
  EXPECT_EQ(module, real);

  ASSERT_EQ(RunRegsvr("-u '" + LibraryPath() + "'"), 0);
  ASSERT_EQ(qcom::RegistryLoad(&tree), S_OK);
  EXPECT_FALSE(tree.KeyExists(key));
  EXPECT_FALSE(tree.KeyExists("ZENTRA.PICTUREUTL"));
  EXPECT_FALSE(tree.KeyExists("ZENTRA.PICTUREUTL.1"));
  EXPECT_TRUE(tree.KeyExists("CLSID")) << "CLSID itself stays";
}

TEST_F(PictureServer, ExportsOnlyTheFourEntryPoints) {
  std::string cmd = "nm -D --defined-only '" + LibraryPath() + "'";
  FILE* pipe = popen(cmd.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::set<std::string> names;
  char line[512];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    char type[8], name[400];
    unsigned long long address;
    if (std::sscanf(line, "%llx %7s %399s", &address, type, name) == 3) names.insert(name);
  }
  ASSERT_EQ(pclose(pipe), 0);
  EXPECT_EQ(names, (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                                          "DllUnregisterServer"}));
}

TEST_F(PictureServer, InterfacesAndErrorInfoSupport) {
  auto p = Create();
  ASSERT_TRUE(p);
  qcom::ComPtr<IUnknown> unknown;
  qcom::ComPtr<IDispatch> dispatch;
  qcom::ComPtr<ISupportErrorInfo> support;
  ASSERT_EQ(p->QueryInterface(IID_IUnknown, unknown.put_void()), S_OK);
  ASSERT_EQ(p->QueryInterface(IID_IDispatch, dispatch.put_void()), S_OK);
  EXPECT_EQ(static_cast<void*>(dispatch.get()), static_cast<void*>(p.get())) << "dual interface";
  ASSERT_EQ(p->QueryInterface(IID_ISupportErrorInfo, support.put_void()), S_OK);
  void* other = reinterpret_cast<void*>(1);
  EXPECT_EQ(p->QueryInterface(IID_IClassFactory, &other), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IPICTUREUTL), S_OK);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);

  UINT count = 0;
  EXPECT_EQ(p->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(p->GetTypeInfo(0, 0, nullptr), E_POINTER);
  ITypeInfo* info = nullptr;
  EXPECT_LT(p->GetTypeInfo(0, 0, &info), 0) << "no type library is registered";
}

TEST_F(PictureServer, SizesThroughSlotsNineAndTen) {
  auto p = Create();
  ASSERT_TRUE(p);
  using PlaneSizes = HRESULT (*)(IPICTUREUTL*, INT, INT, INT*, INT*, INT*);
  using DibSize = HRESULT (*)(IPICTUREUTL*, INT, INT, INT, INT*);
  INT y = 0, u = 0, v = 0, size = 0;
  ASSERT_EQ(Slot<PlaneSizes>(p.get(), 9)(p.get(), 720, 576, &y, &u, &v), S_OK);
  EXPECT_EQ(y, 414720);
  EXPECT_EQ(u, 103680);
  EXPECT_EQ(v, 103680);
  ASSERT_EQ(Slot<DibSize>(p.get(), 10)(p.get(), 352, 288, 24, &size), S_OK);
  EXPECT_EQ(size, 304168);
}

TEST_F(PictureServer, FailuresCarryErrorInformation) {
  auto p = Create();
  ASSERT_TRUE(p);
  INT size = 7;
  EXPECT_EQ(p->GetDibSize(16, 16, 32, &size), DISP_E_EXCEPTION);
  EXPECT_EQ(size, 7);
  IErrorInfo* raw = nullptr;
  ASSERT_EQ(GetErrorInfo(0, &raw), S_OK);
  qcom::ComPtr<IErrorInfo> info;
  *info.put() = raw;
  Bstr description, source;
  ASSERT_EQ(info->GetDescription(description.put()), S_OK);
  ASSERT_EQ(info->GetSource(source.put()), S_OK);
  EXPECT_EQ(BstrToUtf8(description.get()), "Can get bitmap size only 24 bit count");
  EXPECT_EQ(BstrToUtf8(source.get()), "ZENTRA.PICTUREUTL.1");
  GUID guid = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
  ASSERT_EQ(info->GetGUID(&guid), S_OK);
  EXPECT_TRUE(guid == GUID_NULL);

  // The mended failures: null pointers, bad sizes.
  EXPECT_EQ(p->GetYuvPlaneSizes(720, 576, nullptr, &size, &size), E_POINTER);
  EXPECT_FALSE(qcom::ErrorDescription(p.get(), IID_IPICTUREUTL).empty());
  BYTE plane[64] = {};
  EXPECT_EQ(p->YuvPlanesToDib(-16, 4, plane, plane, plane, plane), E_INVALIDARG);
  EXPECT_FALSE(qcom::ErrorDescription(p.get(), IID_IPICTUREUTL).empty());
  EXPECT_EQ(p->ResizeYuvPlanes(8, -8, plane, plane, plane, 4, 4, plane, plane, plane), E_INVALIDARG);
  EXPECT_FALSE(qcom::ErrorDescription(p.get(), IID_IPICTUREUTL).empty());
  // A picture one sample wide has empty chroma planes: nothing to do there.
  EXPECT_EQ(p->ResizeYuvPlanes(1, 8, plane, plane, plane, 4, 4, plane, plane, plane), S_OK);
}

// One 720x576 picture through all four conversions, each checked against a
// model written from the formulas (all of them exact, so bit for bit).
TEST_F(PictureServer, A720x576PictureThroughAllFourConversions) {
  auto p = Create();
  ASSERT_TRUE(p);
  const int w = 720, h = 576, stride = 3 * w;
  std::mt19937 rng(31);
  Bytes rgb(static_cast<std::size_t>(stride * h));
  // A smooth picture with noise, so that the chroma is not flat.
  for (int r = 0; r < h; ++r)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c)
        rgb[r * stride + 3 * x + c] = static_cast<std::uint8_t>((x * (c + 1) / 3 + r / (c + 2) + rng() % 24) & 0xFF);

  // RgbToYuvPlanes: slot 7, planes in the order Y, V, U.
  Bytes y(w * h), u(w * h / 4), v(w * h / 4);
  using RgbToYuv = HRESULT (*)(IPICTUREUTL*, BYTE*, INT, INT, BYTE*, BYTE*, BYTE*);
  ASSERT_EQ(Slot<RgbToYuv>(p.get(), 7)(p.get(), rgb.data(), w, h, y.data(), v.data(), u.data()), S_OK);
  Bytes my, mu, mv;
  ModelRgbToYuv(rgb, w, h, my, mu, mv);
  EXPECT_EQ(y, my);
  EXPECT_EQ(u, mu);
  EXPECT_EQ(v, mv);

  // ResizeYuvPlanes: slot 12, to the SVCD size 480x576 (chroma 240x288).
  const int dw = 480, dh = 576;
  Bytes ry(dw * dh), ru(dw * dh / 4), rv(dw * dh / 4);
  using ResizePlanes = HRESULT (*)(IPICTUREUTL*, INT, INT, BYTE*, BYTE*, BYTE*, INT, INT, BYTE*, BYTE*, BYTE*);
  ASSERT_EQ(Slot<ResizePlanes>(p.get(), 12)(p.get(), w, h, y.data(), u.data(), v.data(), dw, dh, ry.data(), ru.data(), rv.data()), S_OK);
  auto modelPlane = [](const Bytes& src, int sw, int sh, int tw, int th) {
    Bytes out(static_cast<std::size_t>(tw * th));
    ModelLinear(src, {sw, sh}, sw, {0, 0, sw, sh}, out, tw, {tw, th}, double(tw) / sw, double(th) / sh);
    return out;
  };
  EXPECT_EQ(ry, modelPlane(y, w, h, dw, dh));
  EXPECT_EQ(ru, modelPlane(u, w / 2, h / 2, dw / 2, dh / 2));
  EXPECT_EQ(rv, modelPlane(v, w / 2, h / 2, dw / 2, dh / 2));

  // YuvPlanesToDib: slot 8, on the source planes.
  INT dibSize = 0;
  ASSERT_EQ(p->GetDibSize(w, h, 24, &dibSize), S_OK);
  Bytes dib(static_cast<std::size_t>(dibSize), 0xEE);
  using YuvToDib = HRESULT (*)(IPICTUREUTL*, INT, INT, BYTE*, BYTE*, BYTE*, BYTE*);
  ASSERT_EQ(Slot<YuvToDib>(p.get(), 8)(p.get(), w, h, y.data(), u.data(), v.data(), dib.data()), S_OK);
  Bytes model = ModelYuvToDib(w, h, y, u, v);
  EXPECT_TRUE(std::equal(dib.begin() + 40, dib.end(), model.begin() + 40));
  std::int32_t header[10];
  std::memcpy(header, dib.data(), 40);
  EXPECT_EQ(header[0], 40);
  EXPECT_EQ(header[1], w);
  EXPECT_EQ(header[2], h);

  // ResizeDib: slot 11, the bitmap to 352x288.
  INT smallSize = 0;
  ASSERT_EQ(p->GetDibSize(352, 288, 24, &smallSize), S_OK);
  Bytes small(static_cast<std::size_t>(smallSize), 0);
  using ResizeDibFn = HRESULT (*)(IPICTUREUTL*, BYTE*, INT, INT, BYTE*);
  ASSERT_EQ(Slot<ResizeDibFn>(p.get(), 11)(p.get(), dib.data(), 352, 288, small.data()), S_OK);
  Bytes resized = ModelResizeDibPixels(dib.data() + 40, w, h, 352, 288);
  EXPECT_TRUE(std::equal(resized.begin(), resized.end(), small.begin() + 40));
  std::memcpy(header, small.data(), 40);
  EXPECT_EQ(header[1], 352);
  EXPECT_EQ(header[2], 288);
  EXPECT_EQ(header[5], 1056 * 288);
}

TEST_F(PictureServer, UnloadableOnlyWithoutObjectsOrLocks) {
  qcom::ComPtr<IClassFactory> factory;
  ASSERT_EQ(CoGetClassObject(CLSID_PICTUREUTL, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, factory.put_void()), S_OK);
  void* lib = dlopen(LibraryPath().c_str(), RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(lib, nullptr) << "the runtime has loaded the library";
  auto canUnload = reinterpret_cast<PFN_DllCanUnloadNow>(dlsym(lib, "DllCanUnloadNow"));
  ASSERT_NE(canUnload, nullptr);
  EXPECT_EQ(canUnload(), S_OK);
  ASSERT_EQ(factory->LockServer(TRUE), S_OK);
  EXPECT_EQ(canUnload(), S_FALSE);
  ASSERT_EQ(factory->LockServer(FALSE), S_OK);
  {
    qcom::ComPtr<IPICTUREUTL> object;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IPICTUREUTL, object.put_void()), S_OK);
    EXPECT_EQ(canUnload(), S_FALSE);
  }
  EXPECT_EQ(canUnload(), S_OK);
  // Another class is not served.
  void* none = nullptr;
  auto getClass = reinterpret_cast<PFN_DllGetClassObject>(dlsym(lib, "DllGetClassObject"));
  EXPECT_EQ(getClass(IID_IDispatch, IID_IClassFactory, &none), CLASS_E_CLASSNOTAVAILABLE);
  dlclose(lib);
}

// A clipboard that counts every use, to show that loading and unloading the
// library without timing records leaves the clipboard alone.
class CountingClipboard : public ClipboardProvider {
 public:
  std::optional<std::string> GetText() override { ++uses; return std::nullopt; }
  bool SetText(const std::string&) override { ++uses; return true; }
  void Clear() override { ++uses; }
  int uses = 0;
};

TEST_F(PictureServer, LoadAndUnloadLeaveTheClipboardAlone) {
  auto clipboard = std::make_shared<CountingClipboard>();
  auto previous = SetClipboardProvider(clipboard);
  {
    auto p = Create();
    ASSERT_TRUE(p);
  }
  CoFreeUnusedLibraries();
  EXPECT_EQ(clipboard->uses, 0);
  SetClipboardProvider(previous);
}

}  // namespace
