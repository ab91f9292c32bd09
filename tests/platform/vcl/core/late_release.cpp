// Frees painted controls, a bitmap, a device context and an image list from a
// destructor that runs at exit, after the statics made while the program ran have
// gone. Answers 3 when a handle could no longer be freed; a sanitizer build reports
// what stayed behind.
#include <unistd.h>

#include <vcl/commctrl.h>
#include <vcl/forms.h>

namespace {

class Painted : public TCustomControl {
 public:
  explicit Painted(TComponent* owner) : TCustomControl(owner) {}
  HDC painted_with = nullptr;

 protected:
  void Paint() override {
    painted_with = Canvas()->Handle();
    Canvas()->Brush()->SetColor(clRed);
    Canvas()->FillRect(ClientRect());
  }
};

// Made before main, so destroyed after everything main's work created.
struct LateRelease {
  TForm* form = nullptr;
  TBitmap* bitmap = nullptr;
  HDC dc = nullptr;
  HIMAGELIST list = nullptr;
  ~LateRelease() {
    if (!form) return;
    bool freed = DeleteDC(dc) && ImageList_Destroy(list);
    delete bitmap;
    FreeComponent(form);
    if (!freed) _exit(3);
  }
} g_late;

}  // namespace

int main() {
  Application->Initialize();
  auto* form = new TForm(nullptr);
  form->SetBounds(0, 0, 80, 60);
  auto* child = new Painted(form);
  child->SetBounds(10, 10, 20, 20);
  child->SetParent(form);
  form->Show();
  Application->ProcessMessages();
  if (!child->painted_with) return 1;
  child->Canvas()->Handle();  // outside painting, on its own context
  g_late.form = form;
  g_late.bitmap = new TBitmap(4, 4);
  g_late.bitmap->Canvas()->FillRect(TRect(0, 0, 4, 4));
  g_late.dc = CreateCompatibleDC(nullptr);
  g_late.list = ImageList_Create(4, 4, 0, 1, 1);
  return 0;
}
