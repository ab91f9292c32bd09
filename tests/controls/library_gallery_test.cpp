// One picture per style of every themed control of the library, written to
// build/gallery/<style>.png for a person to look at after the test run: the
// buttons, boxes, lists and bar of the shared scene, and beside them the panels,
// button groups, progress grid, tabs, side channel and skin face.
#include <cstdlib>
#include <filesystem>
#include <string>

#include <support/files.h>
#include <vcl/extctrls.h>

#include "progresspanel.h"
#include "suigroupbox.h"
#include "suiimagepanel.h"
#include "suiradiogroup.h"
#include "suisidechannel.h"
#include "suiskinform.h"
#include "suitabcontrol.h"
#include "themed_harness.h"
#include "themed_scene.h"

namespace {

struct Named {
  TsuiUIStyle style;
  const char* name;
};
const Named kStyles[] = {{TsuiUIStyle::Custom, "Custom"},     {TsuiUIStyle::MacOS, "MacOS"},
                         {TsuiUIStyle::WinXP, "WinXP"},       {TsuiUIStyle::DeepBlue, "DeepBlue"},
                         {TsuiUIStyle::Protein, "Protein"},   {TsuiUIStyle::BlueGlass, "BlueGlass"}};

std::unique_ptr<TBitmap> Tile(TColor color) {
  auto b = std::make_unique<TBitmap>(8, 8);
  b->Canvas()->Brush()->SetColor(color);
  b->Canvas()->FillRect(TRect(0, 0, 8, 8));
  return b;
}

class LibraryGallery : public ThemedTest, public ::testing::WithParamInterface<Named> {};

TEST_P(LibraryGallery, EveryThemedControlInTheStyle) {
  const TsuiUIStyle style = GetParam().style;
  ThemedScene scene;
  BuildThemedScene(form, style, scene);
  form->SetClientWidth(kThemedSceneWidth + 590);
  form->SetClientHeight(300);
  auto* area = Place<TPanel>(form, kThemedSceneWidth, 0, 590, 300);
  area->SetBevelOuter(bvNone);
  area->SetCaption("");

  auto* group = Place<TsuiGroupBox>(area, 170, 5, 130, 60);
  group->SetCaption("Group box");
  Place<TsuiCheckBox>(group, 10, 25, 100, 17)->SetCaption("Inside");
  auto* radios = Place<TsuiRadioGroup>(area, 310, 5, 130, 80);
  radios->Items()->SetCommaText("VCD,SVCD,AVI");
  radios->SetItemIndex(1);
  auto* checks = Place<TsuiCheckGroup>(area, 450, 5, 125, 80);
  checks->Items()->SetCommaText("Audio,Video");
  checks->SetChecked(0, true);

  auto* image = Place<TsuiImagePanel>(area, 170, 70, 130, 40);
  TPicture picture;
  picture.SetBitmap(Tile(clTeal).get());
  image->SetPicture(&picture);
  image->SetDrawStyle(suiStretch);
  image->SetCaption("Image panel");
  image->Font()->SetColor(clWhite);

  auto* grid = Place<TProgressPanel>(area, 170, 115, 140, 50);
  grid->SetDidBitmap(Tile(clGreen).get());
  grid->SetTryBitmap(Tile(clSilver).get());
  grid->SetTotalCount(40);
  grid->SetComedCount(17);

  auto* tabs = Place<TsuiTabControl>(area, 320, 95, 255, 110);
  tabs->Tabs()->SetCommaText("Video,Audio,Output");
  tabs->SetTabIndex(1);

  auto* skinHolder = Place<TPanel>(area, 170, 215, 140, 80);
  skinHolder->SetCaption("");
  auto* skin = new TsuiSkinForm(skinHolder);
  skin->SetParent(skinHolder);
  auto face = std::make_unique<TBitmap>(120, 70);
  face->Canvas()->Brush()->SetColor(static_cast<TColor>(0xFF00FF));
  face->Canvas()->FillRect(TRect(0, 0, 120, 70));
  face->Canvas()->Brush()->SetColor(clNavy);
  face->Canvas()->Ellipse(0, 0, 120, 70);
  skin->SetPicture(face.get());

  auto* side = new TsuiSideChannel(area);
  side->SetParent(area);
  side->SetWidth(140);
  side->SetCaption("Side channel");
  side->SetQuickMove(true);

  ContainerApplyUIStyle(area, style);
  SubContainerApplyUIStyle(area, style);
  Show();
  // Pinned open: a channel merely popped slides back in on its half-second check when
  // the pointer is elsewhere, which a slow run can reach before the capture.
  side->SetStayOn(true);
  Pump();

  const std::filesystem::path file = quill_test::GalleryFolder() / (std::string(GetParam().name) + ".png");
  ASSERT_TRUE(HeadlessCaptureToFile(form->Handle(), file.string()));
  EXPECT_GT(std::filesystem::file_size(file), 1000u);
  // The picture holds what the controls show: the open channel's strip and the tabs' page.
  if (style != TsuiUIStyle::Custom) {
    EXPECT_EQ(Pixel(kThemedSceneWidth + 60, 2), GetThemeColor(style, 8));
    EXPECT_EQ(Pixel(kThemedSceneWidth + 440, 190), tabs->Color());
  }
}

INSTANTIATE_TEST_SUITE_P(Styles, LibraryGallery, ::testing::ValuesIn(kStyles),
                         [](const ::testing::TestParamInfo<Named>& i) { return std::string(i.param.name); });

}  // namespace
