// The save dialog over a temporary folder: navigation, filter, default extension
// and the question before a file is replaced.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <support/scratch_dir.h>
#include <vcl/dialogs.h>
#include <vcl/stdctrls.h>

#include "harness.h"

namespace fs = std::filesystem;

namespace {

class SaveDialogTest : public ControlTest {
 protected:
  void SetUp() override {
    ControlTest::SetUp();
    dir = scratch_.str();
    fs::create_directories(dir + "/Movies");
    std::ofstream(dir + "/old.MPG") << "x";
    std::ofstream(dir + "/clip.mpg") << "x";
    std::ofstream(dir + "/notes.txt") << "x";
    dialog = new TSaveDialog(form);
    dialog->Filter = "MPEG Files(*.MPG)|*.MPG|All files|*";
    dialog->DefaultExt = "MPG";
    dialog->InitialDir = dir;
  }
  void TearDown() override {
    ControlTest::TearDown();
  }
  // The dialog's window while it is open.
  TCustomForm* DialogForm() {
    for (int i = 0; i < Screen->FormCount(); ++i)
      if (Screen->Forms(i) != form && Screen->Forms(i)->Visible() && Screen->Forms(i)->Caption() == "Save As")
        return Screen->Forms(i);
    return nullptr;
  }
  TListBox* List(TCustomForm* f) {
    for (int i = 0; i < f->ControlCount(); ++i)
      if (auto* l = dynamic_cast<TListBox*>(f->Controls(i))) return l;
    return nullptr;
  }
  bool Run(std::vector<std::function<void(TCustomForm*)>> steps) {
    size_t next = 0;
    HeadlessSetIdleHook([&] {
      TCustomForm* f = DialogForm();
      if (!f || next >= steps.size()) return false;
      Application->ProcessMessages();
      steps[next++](f);
      return true;
    });
    bool ok = dialog->Execute();
    HeadlessSetIdleHook(nullptr);
    return ok;
  }
  void TypeInto(TCustomForm* f, const std::string& text) {
    for (char ch : text) HeadlessChar(f, ch);
  }
  quill_test::ScratchDir scratch_{"savedlg"};
  std::string dir;
  TSaveDialog* dialog = nullptr;
};

TEST_F(SaveDialogTest, ListsFoldersThenMatchingFilesAndAddsTheDefaultExtension) {
  std::vector<std::string> listed;
  bool ok = Run({[&](TCustomForm* f) {
                   TListBox* l = List(f);
                   for (int i = 0; i < l->Count(); ++i) listed.push_back(l->Items()->Get(i));
                   TypeInto(f, "film");
                 },
                 [&](TCustomForm* f) { HeadlessKey(f, VK_RETURN); }});
  ASSERT_TRUE(ok);
  std::vector<std::string> want = {"Movies/", "clip.mpg", "old.MPG"};
  EXPECT_EQ(listed, want);
  EXPECT_EQ(dialog->FileName, dir + "/film.MPG");
  EXPECT_EQ(dialog->FilterIndex, 1);
}

TEST_F(SaveDialogTest, AsksBeforeReplacingAFileAndNoKeepsTheDialogOpen) {
  std::vector<std::string> asked;
  int answer = IDNO;
  SetMessageBoxRecorder([&](const MessageBoxInfo& info) {
    asked.push_back(info.text);
    int a = answer;
    answer = IDYES;
    return a;
  });
  bool ok = Run({[&](TCustomForm* f) { TypeInto(f, "old"); }, [&](TCustomForm* f) { HeadlessKey(f, VK_RETURN); },
                 [&](TCustomForm* f) {
                   EXPECT_EQ(asked.size(), 1u);  // answered No: still open
                   HeadlessKey(f, VK_RETURN);
                 }});
  ASSERT_TRUE(ok);
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_NE(asked[0].find("old.MPG already exists"), std::string::npos);
  EXPECT_EQ(dialog->FileName, dir + "/old.MPG");
}

TEST_F(SaveDialogTest, EntersFoldersGoesUpAndCancels) {
  std::string seenInMovies;
  bool ok = Run({[&](TCustomForm* f) { TypeInto(f, "Movies"); },
                 [&](TCustomForm* f) { HeadlessKey(f, VK_RETURN); },
                 [&](TCustomForm* f) {
                   seenInMovies = std::to_string(List(f)->Count());
                   TypeInto(f, "../clip.mpg");
                 },
                 [&](TCustomForm* f) { HeadlessKey(f, VK_ESCAPE); }});
  EXPECT_FALSE(ok);
  EXPECT_EQ(seenInMovies, "0");
  EXPECT_EQ(dialog->FileName, "");

  // A name in a folder that does not exist is refused with a message.
  int boxes = 0;
  SetMessageBoxRecorder([&](const MessageBoxInfo&) { return ++boxes, IDOK; });
  ok = Run({[&](TCustomForm* f) { TypeInto(f, "nowhere/x"); }, [&](TCustomForm* f) { HeadlessKey(f, VK_RETURN); },
            [&](TCustomForm* f) { HeadlessKey(f, VK_ESCAPE); }});
  EXPECT_FALSE(ok);
  EXPECT_EQ(boxes, 1);
}

TEST(SaveDialogRules, FilterAndNameResolution) {
  auto f = TSaveDialog::ParseFilter("MPEG Files(*.MPG)|*.MPG|Video|*.avi; *.mpg");
  ASSERT_EQ(f.size(), 2u);
  EXPECT_EQ(f[1].second, (std::vector<std::string>{"*.avi", "*.mpg"}));
  EXPECT_TRUE(TSaveDialog::ParseFilter("").empty());
  EXPECT_TRUE(TSaveDialog::ParseFilter("|||").empty());
  EXPECT_EQ(TSaveDialog::ResolveName("/v", "clip.part1", "MPG"), "/v/clip.part1");
  EXPECT_EQ(TSaveDialog::ResolveName("/v", "/abs/x", "AVI"), "/abs/x.AVI");
  EXPECT_EQ(TSaveDialog::ResolveName("/v.d", "x", ""), "/v.d/x");
}

}  // namespace
