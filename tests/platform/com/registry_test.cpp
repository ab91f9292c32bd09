#include <com/guid.h>
#include <com/registry.h>

#include <sys/stat.h>

#include <filesystem>
#include <thread>
#include <vector>

#include "test_support.h"

namespace {

using qcom::RegistryTree;
using qcomtest::TempRegistry;
class ComRegistryFile : public TempRegistry {};

TEST(ComRegistryTree, SerializeParseRoundTripKeepsEveryKindOfText) {
  RegistryTree t;
  ASSERT_TRUE(t.SetValue("CLSID\\{X}\\InprocServer32", "", "/opt/a b/lib\"q\".so"));
  ASSERT_TRUE(t.SetValue("CLSID\\{X}\\InprocServer32", "ThreadingModel", "Apartment"));
  ASSERT_TRUE(t.SetValue("Odd", "name with \"quotes\" = and \\", "line1\nline2\t\x01 \xC3\xA9"));
  ASSERT_TRUE(t.SetValue("Odd", "", ""));  // an empty default is a value, not no value
  ASSERT_TRUE(t.CreateKey("CLSID\\{X}\\Programmable"));
  bool damaged = true;
  RegistryTree back = RegistryTree::Parse(t.Serialize(), &damaged);
  EXPECT_FALSE(damaged);
  EXPECT_EQ(back.Serialize(), t.Serialize());
  EXPECT_EQ(back.GetValue("clsid\\{x}\\inprocserver32"), "/opt/a b/lib\"q\".so");
  EXPECT_EQ(back.GetValue("CLSID\\{X}\\InprocServer32", "threadingmodel"), "Apartment");
  EXPECT_EQ(back.GetValue("Odd", "name with \"quotes\" = and \\"), "line1\nline2\t\x01 \xC3\xA9");
  EXPECT_TRUE(back.HasDefaultValue("Odd"));
  EXPECT_TRUE(back.IsEmptyKey("CLSID\\{X}\\Programmable"));
  EXPECT_EQ(back.SubKeys("CLSID\\{X}"), (std::vector<std::string>{"InprocServer32", "Programmable"}));
  EXPECT_EQ(back.SubKeys(""), (std::vector<std::string>{"CLSID", "Odd"}));
}

TEST(ComRegistryTree, PathsAndDeletion) {
  RegistryTree t;
  EXPECT_FALSE(t.CreateKey("A\\\\B"));
  EXPECT_FALSE(t.CreateKey("A\\"));
  EXPECT_FALSE(t.CreateKey("\\A"));
  EXPECT_FALSE(t.CreateKey("A\nB"));
  ASSERT_TRUE(t.SetValue("A\\B\\C", "v", "1"));
  ASSERT_TRUE(t.SetValue("a\\b", "", "2"));  // same key, other case
  EXPECT_EQ(t.SubKeys("A"), (std::vector<std::string>{"B"}));
  EXPECT_EQ(t.GetValue("A\\B"), "2");
  EXPECT_FALSE(t.DeleteKey(""));
  EXPECT_FALSE(t.DeleteValue("A\\B", "missing"));
  EXPECT_TRUE(t.DeleteKey("a\\B"));
  EXPECT_FALSE(t.KeyExists("A\\B\\C"));
  EXPECT_TRUE(t.KeyExists("A"));
}

TEST_F(ComRegistryFile, PathComesFromEnvironmentElseBesideExecutable) {
  EXPECT_EQ(qcom::RegistryFilePath(), registry_.string());
  unsetenv("QUILLMERE_REGISTRY");
  std::string exeDir = std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
  EXPECT_EQ(qcom::RegistryFilePath(), exeDir + "/registry.txt");
}

TEST_F(ComRegistryFile, MissingFileIsEmptyAndEditCreatesIt) {
  RegistryTree t;
  EXPECT_EQ(qcom::RegistryLoad(&t), S_OK);
  EXPECT_TRUE(t.SubKeys("").empty());
  ASSERT_EQ(qcom::RegistryEdit([](RegistryTree& tree) {
              tree.SetValue("K", "", "v");
              return S_OK;
            }),
            S_OK);
  std::string value;
  EXPECT_EQ(qcom::RegistryGetValue("K", "", &value), S_OK);
  EXPECT_EQ(value, "v");
  EXPECT_EQ(qcom::RegistryGetValue("K", "other", &value), REGDB_E_KEYMISSING);
  // A failing change writes nothing.
  EXPECT_EQ(qcom::RegistryEdit([](RegistryTree& tree) {
              tree.DeleteKey("K");
              return E_ABORT;
            }),
            E_ABORT);
  EXPECT_TRUE(qcom::RegistryKeyExists("K"));
}

TEST_F(ComRegistryFile, CorruptFileIsReportedAndRebuiltKeepingReadableEntries) {
  const std::string original =
      "[Good\\One]\n@=\"1\"\n"
      "garbage line\n"
      "[Good\\Two]\n\"name\"=\"2\"\n"
      "\"unterminated=\"x\n"
      "[Bro\x01ken]\n\"lost\"=\"3\"\n"  // a broken key line: its values must not land elsewhere
      "[Good\\Three]\r\n@=\"\\x41\"\r\n";
  WriteRegistry(original);
  RegistryTree t;
  EXPECT_EQ(qcom::RegistryLoad(&t), REGDB_E_READREGDB);
  EXPECT_EQ(t.GetValue("Good\\One"), "1");
  EXPECT_EQ(t.GetValue("Good\\Two", "name"), "2");
  EXPECT_EQ(t.GetValue("Good\\Three"), "A");
  EXPECT_FALSE(t.GetValue("Good\\Two", "lost").has_value());

  // Readers: what is readable is found, what is missing may be in the damaged part.
  std::string value;
  EXPECT_EQ(qcom::RegistryGetValue("Good\\One", "", &value), S_OK);
  EXPECT_EQ(qcom::RegistryGetValue("Elsewhere", "", &value), REGDB_E_READREGDB);
  void* p = nullptr;
  CoInitialize(nullptr);
  EXPECT_EQ(CoCreateInstance(IID_IDispatch, nullptr, CLSCTX_ALL, IID_IUnknown, &p), REGDB_E_READREGDB);
  CoUninitialize();

  // A write keeps every readable entry and saves the damaged original aside.
  ASSERT_EQ(qcom::RegistryEdit([](RegistryTree& tree) {
              tree.SetValue("New", "", "4");
              return S_OK;
            }),
            S_OK);
  EXPECT_EQ(ReadFile(registry_.string() + ".bad"), original);
  RegistryTree after;
  EXPECT_EQ(qcom::RegistryLoad(&after), S_OK);
  EXPECT_EQ(after.GetValue("Good\\One"), "1");
  EXPECT_EQ(after.GetValue("Good\\Two", "name"), "2");
  EXPECT_EQ(after.GetValue("Good\\Three"), "A");
  EXPECT_EQ(after.GetValue("New"), "4");
}

TEST_F(ComRegistryFile, UnreadableFileIsNeverReplaced) {
  std::filesystem::create_directory(registry_);  // cannot be read as a file
  RegistryTree t;
  EXPECT_EQ(qcom::RegistryLoad(&t), REGDB_E_READREGDB);
  bool called = false;
  EXPECT_EQ(qcom::RegistryEdit([&](RegistryTree&) {
              called = true;
              return S_OK;
            }),
            REGDB_E_READREGDB);
  EXPECT_FALSE(called);
  EXPECT_TRUE(std::filesystem::is_directory(registry_));
}

// A FIFO would block the reader on open: it is unreadable, and stays a FIFO.
TEST_F(ComRegistryFile, AFifoIsUnreadableAndNeverWaitedOn) {
  ASSERT_EQ(mkfifo(registry_.c_str(), 0644), 0);
  RegistryTree t;
  EXPECT_EQ(qcom::RegistryLoad(&t), REGDB_E_READREGDB);
  EXPECT_EQ(qcom::RegistryEdit([](RegistryTree&) { return S_OK; }), REGDB_E_READREGDB);
  EXPECT_TRUE(std::filesystem::is_fifo(registry_));
}

TEST_F(ComRegistryFile, ConcurrentEditsAreNotLost) {
  constexpr int kThreads = 4, kEdits = 25;
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i)
    threads.emplace_back([i] {
      for (int k = 0; k < kEdits; ++k)
        qcom::RegistryEdit([&](RegistryTree& tree) {
          tree.SetValue("T" + std::to_string(i) + "\\" + std::to_string(k), "", "x");
          return S_OK;
        });
    });
  for (auto& t : threads) t.join();
  RegistryTree t;
  ASSERT_EQ(qcom::RegistryLoad(&t), S_OK);
  for (int i = 0; i < kThreads; ++i) EXPECT_EQ(t.SubKeys("T" + std::to_string(i)).size(), std::size_t{kEdits});
  // No temporary file is left behind.
  for (const auto& e : std::filesystem::directory_iterator(dir_))
    EXPECT_EQ(e.path().filename().string().find(".tmp."), std::string::npos) << e.path();
}

}  // namespace
