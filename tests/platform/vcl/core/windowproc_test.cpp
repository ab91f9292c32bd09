// What the themed controls need of the class library: object instances as window
// procedures and their order against WindowProc, device contexts of windows, the
// menu font, the loading pass of CreateForm, and painting that a subclass replaces.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <vcl/forms.h>
#include <vcl/headless.h>
#include <vcl/stdctrls.h>
#include <vcl/winuser.h>

namespace {

constexpr UINT kProbe = WM_USER + 77;

class Windows : public ::testing::Test {
 protected:
  void SetUp() override {
    Application->Initialize();
    form = new TForm(nullptr);
    form->SetBorderStyle(bsNone);
    form->SetBounds(10, 10, 120, 90);
    form->SetColor(clBlue);
  }
  void TearDown() override { FreeComponent(form); }
  TColor Pixel(int x, int y) {
    Application->ProcessMessages();
    TSurface s;
    EXPECT_TRUE(HeadlessCapture(form->Handle(), s));
    return s.Contains(x, y) ? static_cast<TColor>(PixelToColorRef(s.At(x, y))) : -1;
  }
  TForm* form = nullptr;
};

TEST_F(Windows, ObjectInstancesSubclassOutsideWindowProcAndPerformBypassesThem) {
  std::vector<std::string> order;
  TWndMethod inner = form->WindowProc;
  form->WindowProc = [&](TMessage& m) {
    if (m.Msg == kProbe) order.push_back("WindowProc");
    inner(m);
  };
  WNDPROC old = nullptr;
  int calls = 0;
  WNDPROC proc = MakeObjectInstance([&](TMessage& m) {
    ++calls;
    if (m.Msg == kProbe) {
      order.push_back("instance");
      m.Result = 40 + CallWindowProcA(old, form->Handle(), m.Msg, m.WParam, m.LParam);
    } else {
      m.Result = CallWindowProcA(old, form->Handle(), m.Msg, m.WParam, m.LParam);
    }
  });
  ASSERT_NE(proc, nullptr);
  old = reinterpret_cast<WNDPROC>(SetWindowLongA(form->Handle(), GWL_WNDPROC, reinterpret_cast<LONG_PTR>(proc)));
  EXPECT_EQ(GetWindowLongA(form->Handle(), GWL_WNDPROC), reinterpret_cast<LONG_PTR>(proc));

  EXPECT_EQ(SendMessageA(form->Handle(), kProbe, 0, 0), 40);
  EXPECT_EQ(order, (std::vector<std::string>{"instance", "WindowProc"}));
  order.clear();
  form->Perform(kProbe);
  EXPECT_EQ(order, std::vector<std::string>{"WindowProc"});

  // Restored and freed, the instance is no longer reached.
  SetWindowLongA(form->Handle(), GWL_WNDPROC, reinterpret_cast<LONG_PTR>(old));
  FreeObjectInstance(proc);
  int before = calls;
  SendMessageA(form->Handle(), kProbe, 0, 0);
  EXPECT_EQ(calls, before);
  form->WindowProc = inner;
}

TEST_F(Windows, ObjectInstancesAreDistinctAndReusedOnceFreed) {
  WNDPROC a = MakeObjectInstance([](TMessage& m) { m.Result = 1; });
  WNDPROC b = MakeObjectInstance([](TMessage& m) { m.Result = 2; });
  EXPECT_NE(a, b);
  EXPECT_EQ(a(nullptr, WM_NULL, 0, 0), 1);
  EXPECT_EQ(b(nullptr, WM_NULL, 0, 0), 2);
  FreeObjectInstance(a);
  // A freed instance answers as the default procedure.
  EXPECT_EQ(a(nullptr, WM_NULL, 0, 0), 0);
  WNDPROC c = MakeObjectInstance([](TMessage& m) { m.Result = 3; });
  EXPECT_EQ(c, a);
  EXPECT_EQ(c(nullptr, WM_NULL, 0, 0), 3);
  FreeObjectInstance(b);
  FreeObjectInstance(c);
}

TEST_F(Windows, AnInstanceMayFreeItselfWhileItRuns) {
  WNDPROC self = nullptr;
  self = MakeObjectInstance([&](TMessage& m) {
    FreeObjectInstance(self);
    m.Result = 5;
  });
  EXPECT_EQ(self(nullptr, WM_NULL, 0, 0), 5);
  EXPECT_EQ(self(nullptr, WM_NULL, 0, 0), 0);
}

TEST_F(Windows, RunningOutOfInstancesRaises) {
  std::vector<WNDPROC> all;
  EXPECT_THROW(
      {
        for (;;) all.push_back(MakeObjectInstance([](TMessage&) {}));
      },
      EOutOfResources);
  EXPECT_GE(all.size(), 1000u);
  for (WNDPROC p : all) FreeObjectInstance(p);
  WNDPROC again = MakeObjectInstance([](TMessage&) {});
  EXPECT_NE(again, nullptr);
  FreeObjectInstance(again);
}

TEST_F(Windows, GetDCDrawsOnTheClientAreaAndGetWindowDCOnTheWholeWindow) {
  auto* edit = new TEdit(form);
  edit->SetParent(form);
  edit->SetBounds(20, 10, 60, 30);
  form->Show();
  Application->ProcessMessages();

  HDC dc = GetDC(form->Handle());
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(WindowFromDC(dc), form->Handle());
  RECT r{0, 0, 5, 5};
  HBRUSH red = CreateSolidBrush(0x0000FF);
  FillRect(dc, &r, red);
  EXPECT_EQ(ReleaseDC(form->Handle(), dc), 1);
  EXPECT_EQ(WindowFromDC(dc), nullptr);
  EXPECT_EQ(Pixel(4, 4), clRed);

  // The edit's window: (0, 0) is its outer corner; its client area is inside the border.
  HDC wdc = GetWindowDC(edit->Handle());
  RECT whole{0, 0, 1, 1};
  FillRect(wdc, &whole, red);
  ReleaseDC(edit->Handle(), wdc);
  EXPECT_EQ(Pixel(20, 10), clRed);
  HDC cdc = GetDC(edit->Handle());
  RECT big{-100, -100, 1000, 1000};  // clipped to the client area
  HBRUSH lime = CreateSolidBrush(0x00FF00);
  FillRect(cdc, &big, lime);
  ReleaseDC(edit->Handle(), cdc);
  int bw = edit->BorderWidth();
  EXPECT_EQ(Pixel(20 + bw, 10 + bw), clLime);
  EXPECT_EQ(Pixel(19, 10), clBlue);
  EXPECT_EQ(Pixel(80, 40), clBlue);
  DeleteObject(red);
  DeleteObject(lime);

  EXPECT_EQ(ReleaseDC(form->Handle(), nullptr), 0);
  HDC desk = GetDC(nullptr);
  EXPECT_EQ(WindowFromDC(desk), GetDesktopWindow());
  EXPECT_EQ(GetPixel(desk, 0, 0), CLR_INVALID);
  EXPECT_EQ(ReleaseDC(nullptr, desk), 1);
}

TEST(SystemParameters, NonClientMetricsGiveTheMenuFont) {
  NONCLIENTMETRICSA m{};
  m.cbSize = sizeof m;
  ASSERT_TRUE(SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof m, &m, 0));
  EXPECT_STRNE(m.lfMenuFont.lfFaceName, "");
  EXPECT_LT(m.lfMenuFont.lfHeight, 0);
  EXPECT_EQ(m.lfMenuFont.lfWeight, FW_NORMAL);
  EXPECT_GT(m.iMenuHeight, 0);
  // The font works as any other.
  TFont f;
  f.SetHandle(CreateFontIndirectA(&m.lfMenuFont));
  EXPECT_EQ(f.Height(), m.lfMenuFont.lfHeight);
  NONCLIENTMETRICSA small{};
  small.cbSize = 100;
  EXPECT_FALSE(SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, 100, &small, 0));
  EXPECT_FALSE(SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof m, nullptr, 0));
}

// A form built as from resources: its components record what they saw.
std::vector<std::string>* journal = nullptr;

class Recorder : public TComponent {
 public:
  Recorder(TComponent* owner, std::string name) : TComponent(owner), name_(std::move(name)) {
    journal->push_back(name_ + (HasState(csLoading) ? " created loading" : " created"));
  }
  void AfterConstruction() override { journal->push_back(name_ + " after construction"); }
  void Loaded() override {
    TComponent::Loaded();
    journal->push_back(name_ + " loaded");
  }

 private:
  std::string name_;
};

class LoadedForm : public TForm {
 public:
  explicit LoadedForm(TComponent* owner) : TForm(owner) {
    journal->push_back(HasState(csLoading) ? "form loading" : "form");
    auto* a = new Recorder(this, "a");
    new Recorder(a, "a.child");
    new Recorder(this, "b");
    label = new TLabel(this);
    label->SetParent(this);
    label->SetAutoSize(true);
    label->SetCaption("A caption long enough to size");
    OnCreate = [](TObject*) { journal->push_back("OnCreate"); };
  }
  void Loaded() override {
    TForm::Loaded();
    journal->push_back("form loaded");
  }
  TLabel* label = nullptr;
};

TEST(CreateForm, ComponentsLoadAsFromResourcesThenOnCreateRuns) {
  Application->Initialize();
  std::vector<std::string> seen;
  journal = &seen;
  LoadedForm* f = nullptr;
  Application->CreateForm(f);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(seen, (std::vector<std::string>{"form loading", "a created loading", "a.child created loading",
                                            "b created loading", "a after construction",
                                            "a.child after construction", "b after construction", "form loaded",
                                            "a loaded", "a.child loaded", "b loaded", "OnCreate"}));
  EXPECT_FALSE(f->HasState(csLoading));
  EXPECT_FALSE(f->label->HasState(csLoading));
  // The label that loading held back has sized itself.
  EXPECT_GT(f->label->Width(), 50);
  // Components made later are not loading.
  seen.clear();
  new Recorder(f, "late");
  EXPECT_EQ(seen, std::vector<std::string>{"late created"});
  journal = nullptr;
  FreeComponent(f);
}

// A windowed control whose own WM_PAINT replaces the standard painting.
class OwnPaintEdit : public TEdit {
 public:
  using TEdit::TEdit;

 protected:
  void WMPaint(TMessage& m) override {
    RECT r{0, 0, Width(), Height()};
    HBRUSH b = CreateSolidBrush(0x00FFFF);
    FillRect(m.DC(), &r, b);
    DeleteObject(b);
  }
};

TEST_F(Windows, ASubclassesOwnPaintingReplacesTheStandardOne) {
  auto* edit = new OwnPaintEdit(form);
  edit->SetParent(form);
  edit->SetBounds(10, 10, 80, 24);
  edit->SetText("hidden text");
  form->Show();
  TSurface s;
  Application->ProcessMessages();
  ASSERT_TRUE(HeadlessCapture(form->Handle(), s));
  TRect client = edit->ClientRect();
  int bw = edit->BorderWidth();
  for (int y = 0; y < client.Height(); ++y)
    for (int x = 0; x < client.Width(); ++x)
      ASSERT_EQ(PixelToColorRef(s.At(10 + bw + x, 10 + bw + y)), 0x00FFFFu) << x << "," << y;
}

}  // namespace
