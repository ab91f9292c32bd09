// A fresh application with the main window and options dialog made against fake
// outside servers, two disc folders as drives, and a recorder of message boxes.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <vcl/headless.h>
#include <win32/drives.h>

#include "app_fakes.h"
#include "fresh_application.h"
#include "interface.h"
#include "main.h"
#include "option.h"

namespace apptest {

namespace fs = std::filesystem;

struct RecordedBox {
  std::string text;
  std::string caption;
  UINT type;
  HWND owner;
};

using ObjectMaker = std::function<IUnknown*()>;

class FormsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitialize(nullptr);
    InitApplication();
    Application->Initialize();
    dir_ = GetModulePath();
    fs::remove(dir_ / "config.ini");
    for (int i = 0; i < 10; ++i) fs::remove_all(dir_ / ("SKIN" + std::to_string(i)));
    std::ofstream(dir_ / "mounts").close();
    SetMountsFile((dir_ / "mounts").string());
    fs::create_directories(dir_ / "discA");
    fs::create_directories(dir_ / "discB");
    setenv("QUILLMERE_DVD", ((dir_ / "discA").string() + ":" + (dir_ / "discB").string()).c_str(), 1);
    disc.titles = {
        {"Title 1",
         {{"PGC 1",
           {{0, 999, 12.3}, {1000, 2000, 40.4}, {2001, 3000, 59.6}, {3001, 3002, 0.4}},
           {"English AC-3", "French AC-3"},
           {"English"}},
          {"PGC 2", {}, {}, {}}}},
        {"Title 2", {}},
    };
    codecs = {{"DIVX MPEG-4", 11}, {"XVID MPEG-4", 12}, {"Intel Indeo 5", 13}, {"MJPEG", 14}};
    SetMessageBoxRecorder([this](const MessageBoxInfo& info) {
      boxes.push_back({info.text, info.caption, info.type, info.owner});
      if (!answers.empty()) {
        int a = answers.front();
        answers.pop_front();
        return a;
      }
      return (info.type & 0xF) == MB_YESNO ? IDYES : IDOK;
    });
  }

  void TearDown() override {
    HeadlessSetIdleHook(nullptr);
    SetMessageBoxRecorder(nullptr);
    FreshApplication();
    dvdFactory_.reset();
    aviFactory_.reset();
    SetMountsFile("");
    unsetenv("QUILLMERE_DVD");
    CoUninitialize();
  }

  // Registers the fakes: makeDvd / makeAvi null means the fake disc and codec list.
  void RegisterFakes(ObjectMaker makeDvd = nullptr, ObjectMaker makeAvi = nullptr) {
    if (!makeDvd) makeDvd = [this]() -> IUnknown* { return new FakeDvdInfo(&disc, &log); };
    if (!makeAvi) makeAvi = [this]() -> IUnknown* { return new FakeAviEncode(&codecs); };
    dvdFactory_ = std::make_unique<FakeFactory<ObjectMaker>>(CLSID_DVDInfObj, makeDvd, &log.created);
    aviFactory_ = std::make_unique<FakeFactory<ObjectMaker>>(CLSID_AVIEncode, makeAvi, nullptr);
  }

  TfrmOption* CreateOption() {
    if (!dvdFactory_ && !realServers) RegisterFakes();
    Application->CreateForm(frmOption);
    return frmOption;
  }

  std::vector<std::string> Items(TStrings* items) const {
    std::vector<std::string> out;
    for (int i = 0; i < items->Count(); ++i) out.push_back(items->Get(i));
    return out;
  }

  void WriteConfig(const std::string& key, const std::string& value) {
    std::ofstream(dir_ / "config.ini") << "[INI]\n" << key << "=" << value << "\n";
  }

  std::string ReadConfig(const std::string& key) {
    std::ifstream in(dir_ / "config.ini");
    std::string line;
    while (std::getline(in, line))
      if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
    return "<missing>";
  }

  fs::path dir_;
  FakeDisc disc;
  std::vector<std::pair<std::string, INT>> codecs;
  CallLog log;
  std::vector<RecordedBox> boxes;
  std::deque<int> answers;
  // Leaves the registered outside servers in place of the fakes.
  bool realServers = false;

 private:
  std::unique_ptr<FakeFactory<ObjectMaker>> dvdFactory_;
  std::unique_ptr<FakeFactory<ObjectMaker>> aviFactory_;
};

}  // namespace apptest
