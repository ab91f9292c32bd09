// Every caption of the program's six forms fits the control that shows it, in the
// font that control uses; so do the items the options dialog lists for the sample
// disc (titles, program chains, streams, chapters, codecs).
#include <algorithm>

#include <support/files.h>
#include <vcl/buttons.h>

#include "about.h"
#include "convert.h"
#include "forms_fixture.h"
#include "mylabel.h"
#include "preview.h"
#include "shutdlg.h"
#include "suibutton.h"
#include "suicombobox.h"

namespace apptest {
namespace {

int TextWidth(TControl* c, const std::string& text) {
  TBitmap b(1, 1);
  b.Canvas()->SetFont(c->Font());
  RECT r{0, 0, 0, 0};
  DrawTextA(b.Canvas()->Handle(), text.c_str(), -1, &r, DT_CALCRECT | DT_SINGLELINE);
  return r.right - r.left;
}

std::string Where(TControl* c) {
  std::string path;
  for (TControl* p = c; p; p = p->Parent()) path = (p->Name().empty() ? p->ClassName() : p->Name()) + "/" + path;
  return path;
}

class Captions : public FormsTest {
 protected:
  // The pixels a caption has in its control, by the control's own layout.
  static int CaptionRoom(TControl* c) {
    if (auto* b = dynamic_cast<TsuiCustomButtonEx*>(c)) return b->Width() - b->CaptionRect().Left;
    if (dynamic_cast<TMyLabel*>(c)) return c->Width() - 2;  // drawn twice, the second 2 pixels on
    if (auto* l = dynamic_cast<TCustomLabel*>(c))
      return l->AutoSize() ? l->Parent()->ClientWidth() - l->Left() : l->Width();
    if (dynamic_cast<TBitBtn*>(c)) return c->Width() - 8 - 16 - 4;  // edges, the kind's glyph, spacing
    if (dynamic_cast<TButton*>(c) || dynamic_cast<TSpeedButton*>(c)) return c->Width() - 8;
    if (dynamic_cast<TCustomGroupBox*>(c)) return c->Width() - 16;
    return -1;
  }

  // Checks the caption of c and of every control on it.
  void CheckTree(TControl* c) {
    const int room = CaptionRoom(c);
    // The themed buttons keep a caption of their own.
    auto* themed = dynamic_cast<TsuiCustomButton*>(c);
    const std::string text = themed ? themed->Caption() : c->Caption();
    if (room >= 0 && !text.empty()) {
      ++checked;
      EXPECT_LE(TextWidth(c, text), room) << Where(c) << " \"" << text << "\"";
      // A label that grows with its text must not run into a neighbour.
      if (auto* l = dynamic_cast<TCustomLabel*>(c); l && l->AutoSize())
        for (int i = 0; i < l->Parent()->ControlCount(); ++i) {
          TControl* o = l->Parent()->Controls(i);
          if (o == l || !o->Visible() || dynamic_cast<TBevel*>(o)) continue;
          TRect a = l->BoundsRect(), b = o->BoundsRect();
          EXPECT_FALSE(a.Left < b.Right && b.Left < a.Right && a.Top < b.Bottom && b.Top < a.Bottom)
              << Where(l) << " \"" << text << "\" runs into " << Where(o);
        }
    }
    if (auto* w = dynamic_cast<TWinControl*>(c))
      for (int i = 0; i < w->ControlCount(); ++i) CheckTree(w->Controls(i));
  }

  // Every item of a list shown in a themed drop-down box.
  void CheckItems(TsuiComboBox* box) {
    const int room = box->Width() - 18 - 2 - 2;  // the themed button, the border, the text's inset
    for (int i = 0; i < box->Items()->Count(); ++i) {
      ++checked;
      EXPECT_LE(TextWidth(box, box->Items()->Get(i)), room) << Where(box) << " \"" << box->Items()->Get(i) << "\"";
    }
  }

  int checked = 0;
};

TEST_F(Captions, EveryCaptionOfTheSixFormsAndTheDiscsListsFitTheirControls) {
  const fs::path sample = fs::path(std::getenv("QUILLMERE_BUILD_BIN")) / ".." / "sample-dvd";
  ASSERT_TRUE(fs::exists(sample / "VIDEO_TS" / "VIDEO_TS.IFO")) << "no sample disc (target sample_dvd)";
  setenv("QUILLMERE_DVD", fs::canonical(sample).c_str(), 1);
  realServers = true;
  // In the program's order of creation.
  Application->CreateForm(frmMain);
  CreateOption();
  Application->CreateForm(frmPreview);
  Application->CreateForm(AboutBox);
  Application->CreateForm(frmConvert);
  Application->CreateForm(ShutDlg);
  const std::vector<TForm*> forms{frmMain, frmOption, frmPreview, AboutBox, frmConvert, ShutDlg};
  // Shown and painted: the themed buttons place their captions while painting.
  for (TForm* f : forms) f->Show();
  Application->ProcessMessages();
  for (TForm* f : forms) {
    const int before = checked;
    CheckTree(f);
    EXPECT_TRUE(f == frmMain || f == frmPreview || checked > before) << f->Name() << " has no caption checked";
  }
  // Groups, labels, buttons and check boxes: 29 on the options dialog, 6 on the about
  // box, 4 on the conversion window, 5 on the countdown dialog.
  EXPECT_EQ(checked, 44);

  // The lists of the sample disc, read through the registered servers.
  ASSERT_GT(frmOption->ProgChain->Items()->Count(), 0);
  for (TsuiComboBox* box : {frmOption->cmbTittle, frmOption->ProgChain, frmOption->cmbSubtitle, frmOption->audioDesc,
                            frmOption->cmbAngle, frmOption->cmbAudio, frmOption->cmbRate, frmOption->cmbBitrate,
                            frmOption->cmbQuality, frmOption->cmbCodec})
    CheckItems(box);
  TCustomListBox* chapters = frmOption->lstChapter;
  ASSERT_GT(chapters->Items()->Count(), 0);
  for (int i = 0; i < chapters->Items()->Count(); ++i)
    EXPECT_LE(TextWidth(chapters, chapters->Items()->Get(i)), chapters->ClientWidth() - 2 - 2 - 16)
        << chapters->Items()->Get(i);
  // A look for people: the forms as shown.
  const std::pair<TForm*, const char*> looks[] = {
      {AboutBox, "about_box.png"}, {frmConvert, "conversion_window.png"}, {ShutDlg, "countdown_dialog.png"}};
  for (const auto& [form, file] : looks)
    EXPECT_TRUE(HeadlessCaptureToFile(form->Handle(), (quill_test::GalleryFolder() / file).string()));
  for (TForm* f : forms) f->Hide();
}

}  // namespace
}  // namespace apptest
