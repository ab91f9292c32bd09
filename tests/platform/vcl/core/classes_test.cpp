// Object model: components and their owners, string lists, collections, lists.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <vcl/forms.h>

namespace {

std::vector<std::string> g_events;

class Watcher : public TComponent {
 public:
  Watcher(TComponent* owner, const std::string& name) : TComponent(owner) { SetName(name); }
  ~Watcher() override { g_events.push_back("~" + Name()); }

 protected:
  void Notification(TComponent* c, TOperation op) override {
    TComponent::Notification(c, op);
    if (c != this) g_events.push_back(Name() + (op == opInsert ? "+" : "-") + c->Name());
  }
};

TEST(ComponentTest, OwnerFindsByNameWithoutCaseAndFreesWhatItOwns) {
  g_events.clear();
  auto* owner = new Watcher(nullptr, "Form");
  auto* list = new Watcher(owner, "ImageList_Ctrl4");
  auto* button = new Watcher(owner, "Button_Ctrl4");
  EXPECT_EQ(owner->FindComponent("imagelist_ctrl4"), list);
  EXPECT_EQ(owner->FindComponent("BUTTON_CTRL4"), button);
  EXPECT_EQ(owner->FindComponent("Button_Ctrl11"), nullptr);
  EXPECT_EQ(owner->FindComponent(""), nullptr);
  EXPECT_EQ(owner->ComponentCount(), 2);
  EXPECT_EQ(button->ComponentIndex(), 1);
  EXPECT_THROW(button->SetName("imagelist_CTRL4"), Exception) << "names are unique without regard to case";
  EXPECT_THROW(button->SetName("2bad"), Exception);
  g_events.clear();
  FreeComponent(owner);
  // Owned components go last-first while the owner is whole; the survivors hear of
  // each removal.
  EXPECT_EQ(g_events, (std::vector<std::string>{"~Button_Ctrl4", "ImageList_Ctrl4-Button_Ctrl4", "Form-Button_Ctrl4",
                                                "~ImageList_Ctrl4", "Form-ImageList_Ctrl4", "~Form"}));
}

TEST(ComponentTest, FreeNotificationReachesComponentsOfOtherOwners) {
  g_events.clear();
  Watcher a(nullptr, "A");
  auto* menu = new Watcher(nullptr, "Menu");
  a.FreeNotification(menu);
  g_events.clear();
  delete menu;
  EXPECT_EQ(g_events, (std::vector<std::string>{"~Menu", "A-Menu"}));
}

TEST(ComponentTest, InsertingMovesFromTheOldOwner) {
  g_events.clear();
  Watcher one(nullptr, "One"), two(nullptr, "Two");
  auto* c = new Watcher(nullptr, "C");
  one.InsertComponent(c);
  two.InsertComponent(c);
  EXPECT_EQ(one.ComponentCount(), 0);
  EXPECT_EQ(c->Owner(), &two);
  EXPECT_EQ(g_events, (std::vector<std::string>{"One+C", "One-C", "Two+C"}));
}

TEST(StringListTest, SortedListsWithDuplicateRules) {
  TStringList l;
  l.SetSorted(true);
  EXPECT_EQ(l.Add("beta"), 0);
  EXPECT_EQ(l.Add("Alpha"), 0);
  EXPECT_EQ(l.Add("gamma"), 2);
  EXPECT_EQ(l.Add("BETA"), 1) << "ignored duplicate answers the existing index";
  EXPECT_EQ(l.Count(), 3);
  l.SetDuplicates(dupError);
  EXPECT_THROW(l.Add("alpha"), EStringListError);
  l.SetDuplicates(dupAccept);
  l.Add("alpha");
  EXPECT_EQ(l.Count(), 4);
  EXPECT_EQ(l.IndexOf("ALPHA"), 0);
  EXPECT_THROW(l.Insert(0, "zeta"), EStringListError);
  EXPECT_THROW(l.Put(0, "zeta"), EStringListError);
  int at = -1;
  EXPECT_FALSE(l.Find("delta", at));
  EXPECT_EQ(at, 3);
  l.SetCaseSensitive(true);
  EXPECT_EQ(l.IndexOf("ALPHA"), -1);
}

TEST(StringListTest, UnsortedIndexOfObjectsAndBounds) {
  TStringList l;
  TStringList marker;
  l.Add("one");
  l.AddObject("Two", &marker);
  l.Add("two");
  EXPECT_EQ(l.IndexOf("TWO"), 1) << "case-insensitive, first match";
  EXPECT_EQ(l.Objects(1), &marker);
  EXPECT_EQ(l.IndexOfObject(&marker), 1);
  l.Exchange(0, 1);
  EXPECT_EQ(l.Strings(0), "Two");
  EXPECT_EQ(l.Objects(0), &marker);
  EXPECT_EQ(l.Objects(1), nullptr);
  EXPECT_THROW(l.Get(3), Exception);
  EXPECT_THROW(l.Delete(-1), Exception);
  EXPECT_THROW(l.Insert(5, "x"), Exception);
  l.Insert(3, "end");
  EXPECT_EQ(l.Strings(3), "end");
}

TEST(StringListTest, TextAndCommaTextRoundTrips) {
  TStringList l;
  l.SetText("a\r\nb\nc\rd");
  EXPECT_EQ(l.Count(), 4);
  EXPECT_EQ(l.GetText(), "a\r\nb\r\nc\r\nd\r\n");
  l.SetText("last line\r\n");
  EXPECT_EQ(l.Count(), 1);

  l.SetCommaText("one, \"two words\",\"say \"\"hi\"\"\" ,,four");
  ASSERT_EQ(l.Count(), 5);
  EXPECT_EQ(l.Strings(0), "one");
  EXPECT_EQ(l.Strings(1), "two words");
  EXPECT_EQ(l.Strings(2), "say \"hi\"");
  EXPECT_EQ(l.Strings(3), "");
  EXPECT_EQ(l.Strings(4), "four");
  TStringList back;
  back.SetCommaText(l.GetCommaText());
  ASSERT_EQ(back.Count(), 5);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(back.Strings(i), l.Strings(i)) << i;

  l.SetText("Index=3\r\nDefMediaPath=/videos");
  EXPECT_EQ(l.Values("index"), "3");
  EXPECT_EQ(l.Names(1), "DefMediaPath");
  l.SetValue("Index", "");
  EXPECT_EQ(l.Count(), 1);
}

TEST(StringListTest, ChangeEventsAreBatchedByUpdates) {
  TStringList l;
  int changes = 0;
  l.OnChange = [&](TObject*) { ++changes; };
  l.Add("a");
  EXPECT_EQ(changes, 1);
  l.BeginUpdate();
  l.Add("b");
  l.Add("c");
  l.Delete(0);
  EXPECT_EQ(changes, 1);
  l.EndUpdate();
  EXPECT_EQ(changes, 2);
}

class Section : public TCollectionItem {
 public:
  using TCollectionItem::TCollectionItem;
  int width = 0;
  void Assign(TPersistent* src) override {
    if (auto* s = dynamic_cast<Section*>(src)) {
      width = s->width;
      return;
    }
    TCollectionItem::Assign(src);
  }
};

class Sections : public TCollection {
 public:
  Sections() : TCollection([](TCollection* c) { return new Section(c); }) {}
  int updates = 0;

 protected:
  void Update(TCollectionItem*) override { ++updates; }
};

TEST(CollectionTest, ItemsKnowTheirPlaceAndAssignCopies) {
  Sections s;
  auto* a = static_cast<Section*>(s.Add());
  auto* b = static_cast<Section*>(s.Add());
  a->width = 10;
  b->width = 20;
  EXPECT_EQ(s.Count(), 2);
  EXPECT_EQ(b->Index(), 1);
  b->SetIndex(0);
  EXPECT_EQ(s.Items(0), b);
  EXPECT_EQ(s.FindItemID(a->ID()), a);
  Sections copy;
  copy.Assign(&s);
  ASSERT_EQ(copy.Count(), 2);
  EXPECT_EQ(static_cast<Section*>(copy.Items(0))->width, 20);
  int before = s.updates;
  s.BeginUpdate();
  s.Delete(0);
  s.Add();
  s.EndUpdate();
  EXPECT_EQ(s.updates, before + 1);
  delete a;  // an item freed on its own leaves its collection
  EXPECT_EQ(s.Count(), 1);
  EXPECT_THROW(s.Items(1), Exception);
}

TEST(ListTest, PointerListOperations) {
  TList l;
  int x = 0, y = 0, z = 0;
  l.Add(&x);
  l.Add(&y);
  l.Insert(0, &z);
  EXPECT_EQ(l.IndexOf(&y), 2);
  l.Move(2, 0);
  EXPECT_EQ(l.First(), &y);
  EXPECT_EQ(l.Remove(&z), 1);
  EXPECT_EQ(l.Count(), 2);
  EXPECT_EQ(l.Extract(&x), &x);
  EXPECT_EQ(l.Extract(&x), nullptr);
  EXPECT_THROW(l.Get(1), Exception);
}

}  // namespace
