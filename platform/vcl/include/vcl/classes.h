// Components, string lists, collections, lists and threads.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <vcl/export.h>
#include <vcl/object.h>
#include <vcl/sysutils.h>
#include <win32/types.h>


// Case-insensitive comparison of texts as the library's name lookups use it.
QVCL_API int CompareText(const std::string& a, const std::string& b);
QVCL_API bool SameText(const std::string& a, const std::string& b);

// ---------------------------------------------------------------------------
// TList: an ordered list of untyped pointers.
class QVCL_API TList : public TObject {
 public:
  std::string ClassName() const override { return "TList"; }
  int Add(void* item);
  void Insert(int index, void* item);
  void Delete(int index);  // EListError-like Exception on a bad index
  int Remove(void* item);  // index it had, or -1
  int IndexOf(void* item) const;
  void* Extract(void* item);
  void Move(int from, int to);
  void Clear() { items_.clear(); }
  int Count() const { return static_cast<int>(items_.size()); }
  void* Get(int index) const;
  void Put(int index, void* item);
  void* operator[](int index) const { return Get(index); }
  void* First() const { return Get(0); }
  void* Last() const { return Get(Count() - 1); }

 private:
  std::vector<void*> items_;
};

// ---------------------------------------------------------------------------
// TStrings: the abstract list of texts with an object per line.
class QVCL_API TStrings : public TPersistent {
 public:
  std::string ClassName() const override { return "TStrings"; }
  virtual int Count() const = 0;
  virtual std::string Get(int index) const = 0;
  virtual void Put(int index, const std::string& s);
  virtual TObject* GetObject(int index) const;
  virtual void PutObject(int index, TObject* obj);
  virtual int Add(const std::string& s);
  virtual int AddObject(const std::string& s, TObject* obj);
  virtual void Insert(int index, const std::string& s) = 0;
  virtual void InsertObject(int index, const std::string& s, TObject* obj);
  virtual void Delete(int index) = 0;
  virtual void Clear() = 0;
  virtual int IndexOf(const std::string& s) const;  // case-insensitive
  int IndexOfObject(TObject* obj) const;
  void Exchange(int a, int b);
  void AddStrings(const TStrings* other);
  void Assign(TPersistent* source) override;
  void BeginUpdate();
  void EndUpdate();
  bool Updating() const { return update_count_ > 0; }

  std::string operator[](int index) const { return Get(index); }
  std::string Strings(int index) const { return Get(index); }
  TObject* Objects(int index) const { return GetObject(index); }

  // Lines joined by "\r\n" (each line ends with it); setting splits at CR, LF or CRLF.
  std::string GetText() const;
  void SetText(const std::string& text);
  // Comma-separated; items with blanks, commas or quotes are double-quoted.
  std::string GetCommaText() const;
  void SetCommaText(const std::string& text);
  // name=value lines.
  std::string Names(int index) const;
  std::string Values(const std::string& name) const;
  void SetValue(const std::string& name, const std::string& value);
  int IndexOfName(const std::string& name) const;

 protected:
  virtual void SetUpdateState(bool /*updating*/) {}

 private:
  int update_count_ = 0;
};

enum TDuplicates { dupIgnore, dupAccept, dupError };

class QVCL_API TStringList : public TStrings {
 public:
  std::string ClassName() const override { return "TStringList"; }
  int Count() const override { return static_cast<int>(items_.size()); }
  std::string Get(int index) const override;
  void Put(int index, const std::string& s) override;
  TObject* GetObject(int index) const override;
  void PutObject(int index, TObject* obj) override;
  int Add(const std::string& s) override;
  int AddObject(const std::string& s, TObject* obj) override;
  void Insert(int index, const std::string& s) override;
  void InsertObject(int index, const std::string& s, TObject* obj) override;
  void Delete(int index) override;
  void Clear() override;
  int IndexOf(const std::string& s) const override;
  // Binary search in a sorted list; false with the insertion place otherwise.
  bool Find(const std::string& s, int& index) const;
  void Sort();
  void CustomSort(const std::function<int(TStringList*, int, int)>& compare);

  bool Sorted() const { return sorted_; }
  void SetSorted(bool value);
  TDuplicates Duplicates() const { return duplicates_; }
  void SetDuplicates(TDuplicates d) { duplicates_ = d; }
  bool CaseSensitive() const { return case_sensitive_; }
  void SetCaseSensitive(bool value);

  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;

 protected:
  void SetUpdateState(bool updating) override;
  virtual void Changed();
  virtual void Changing();

 private:
  struct Item {
    std::string s;
    TObject* obj = nullptr;
  };
  int Compare(const std::string& a, const std::string& b) const;
  void CheckIndex(int index, bool allowEnd = false) const;
  std::vector<Item> items_;
  bool sorted_ = false;
  bool case_sensitive_ = false;
  TDuplicates duplicates_ = dupIgnore;
};

// ---------------------------------------------------------------------------
// Components: ownership, names and notifications.
enum TOperation { opInsert, opRemove };

enum TComponentStateFlag : unsigned {
  csLoading = 1u << 0,
  csReading = 1u << 1,
  csWriting = 1u << 2,
  csDestroying = 1u << 3,
  csDesigning = 1u << 4,
  csAncestor = 1u << 5,
  csUpdating = 1u << 6,
  csFixups = 1u << 7,
  csFreeNotification = 1u << 8,
  csInline = 1u << 9,
  csDesignInstance = 1u << 10,
};
using TComponentState = unsigned;

class QVCL_API TComponent : public TPersistent {
 public:
  explicit TComponent(TComponent* owner);
  ~TComponent() override;
  std::string ClassName() const override { return "TComponent"; }

  TComponent* Owner() const { return owner_; }
  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Components(int index) const;
  int ComponentIndex() const;
  const std::string& Name() const { return name_; }
  virtual void SetName(const std::string& name);
  // Owned component whose name matches without regard to case, or null.
  TComponent* FindComponent(const std::string& name) const;
  void InsertComponent(TComponent* c);
  void RemoveComponent(TComponent* c);
  void DestroyComponents();
  // Ask to be told (Notification opRemove) when `c` goes away.
  void FreeNotification(TComponent* c);
  void RemoveFreeNotification(TComponent* c);
  TComponentState ComponentState() const { return state_; }
  bool HasState(unsigned flag) const { return (state_ & flag) != 0; }
  // Marks the component as going away (set at the start of destruction).
  void Destroying();
  // Runs before the destructors when the library frees the component (owners free
  // their components this way): the owned components go while this one is still
  // whole. A form runs OnDestroy here first.
  virtual void BeforeDestruction();
  // Runs once the component is constructed; the base does nothing. The loading
  // pass of TApplication::CreateForm runs it for every component the form's
  // construction made, before their Loaded.
  virtual void AfterConstruction() {}
  // Called once construction (the form-resource settings) is complete; clears
  // csLoading. Overrides call the base first.
  virtual void Loaded();
  virtual void BeginLoading() { state_ |= csLoading; }
  virtual void EndLoading();
  INT_PTR Tag = 0;

 protected:
  virtual void Notification(TComponent* component, TOperation operation);
  void SetComponentState(unsigned flag, bool on) { state_ = on ? (state_ | flag) : (state_ & ~flag); }
  friend class TComponentAccess;

 private:
  void Insert(TComponent* c);
  void Remove(TComponent* c);
  TComponent* owner_ = nullptr;
  std::vector<TComponent*> components_;
  std::vector<TComponent*> free_notifies_;
  std::string name_;
  TComponentState state_ = 0;
};

// The loading pass of forms built as from resources: after BeginComponentLoading
// the next component constructed on this thread starts in csLoading, and so does
// every component constructed with an owner in csLoading. FinishLoading(root) runs
// AfterConstruction on every component the root owns (at any depth) that is still
// loading, then Loaded on the root and on those components, in creation order.
// CancelComponentLoading drops a BeginComponentLoading that no construction used.
QVCL_API void BeginComponentLoading();
QVCL_API void CancelComponentLoading();
QVCL_API void FinishLoading(TComponent* root);

// ---------------------------------------------------------------------------
// Collections of items that belong to an owner (title-bar buttons and the like).
class TCollection;

class QVCL_API TCollectionItem : public TPersistent {
 public:
  explicit TCollectionItem(TCollection* collection);
  ~TCollectionItem() override;
  std::string ClassName() const override { return "TCollectionItem"; }
  TCollection* Collection() const { return collection_; }
  void SetCollection(TCollection* c);
  int Index() const;
  void SetIndex(int index);
  int ID() const { return id_; }
  virtual std::string DisplayName() const { return ClassName(); }

 protected:
  void Changed(bool allItems);

 private:
  friend class TCollection;
  TCollection* collection_ = nullptr;
  int id_ = 0;
};

class QVCL_API TCollection : public TPersistent {
 public:
  using ItemFactory = std::function<TCollectionItem*(TCollection*)>;
  explicit TCollection(ItemFactory factory, TPersistent* owner = nullptr);
  ~TCollection() override;
  std::string ClassName() const override { return "TCollection"; }
  TCollectionItem* Add();
  TCollectionItem* Insert(int index);
  void Delete(int index);
  void Clear();
  int Count() const { return static_cast<int>(items_.size()); }
  TCollectionItem* Items(int index) const;
  TCollectionItem* FindItemID(int id) const;
  void Assign(TPersistent* source) override;
  void BeginUpdate() { ++update_count_; }
  void EndUpdate();
  TPersistent* GetOwner() const { return owner_; }

 protected:
  // Called after an item changed (item) or the set of items changed (null).
  virtual void Update(TCollectionItem* /*item*/) {}

 private:
  friend class TCollectionItem;
  void InsertItem(TCollectionItem* item);
  void RemoveItem(TCollectionItem* item);
  void Changed(TCollectionItem* item);
  ItemFactory factory_;
  TPersistent* owner_;
  std::vector<TCollectionItem*> items_;
  int next_id_ = 0;
  int update_count_ = 0;
};

// ---------------------------------------------------------------------------
// TThread: a worker thread whose Synchronize runs a routine on the GUI thread.
using TThreadMethod = std::function<void()>;

class QVCL_API TThread : public TObject {
 public:
  // A C++ constructor cannot run an overridden Execute before the derived class
  // is complete, so a thread made with createSuspended false starts at the next
  // turn of the GUI loop (or at Resume/WaitFor, whichever comes first).
  explicit TThread(bool createSuspended);
  ~TThread() override;
  std::string ClassName() const override { return "TThread"; }

  void Resume();
  void Suspend();  // only before the thread has started
  void Terminate() { terminated_ = true; }
  // Waits for Execute to end and answers ReturnValue. On the GUI thread the
  // wait keeps running queued Synchronize calls, so a worker that synchronizes
  // while being stopped cannot deadlock.
  int WaitFor();

  bool Terminated() const { return terminated_; }
  bool Suspended() const { return !started_; }
  bool Finished() const { return finished_; }
  bool FreeOnTerminate() const { return free_on_terminate_; }
  void SetFreeOnTerminate(bool v) { free_on_terminate_ = v; }
  int ReturnValue() const { return return_value_; }
  void SetReturnValue(int v) { return_value_ = v; }
  HANDLE Handle() const { return reinterpret_cast<HANDLE>(const_cast<TThread*>(this)); }
  DWORD ThreadID() const { return thread_id_; }
  // Exception that escaped Execute, if any (its message), as the library keeps it.
  const std::string& FatalExceptionMessage() const { return fatal_message_; }
  bool HadFatalException() const { return had_fatal_; }

  // Runs on the GUI thread once Execute has ended.
  TNotifyEvent OnTerminate;

  // Runs method on the GUI thread and waits for it; an exception it raises is
  // raised again in the calling thread. On the GUI thread it runs at once.
  void Synchronize(const TThreadMethod& method);
  static void Synchronize(TThread* thread, const TThreadMethod& method);
  // Runs method on the GUI thread at its next turn and returns at once, from any
  // thread (a thread of the library's or not); an exception it raises is shown there.
  static void Queue(const TThreadMethod& method);
  // Runs the queued Synchronize calls; true when any ran. GUI thread only.
  static bool CheckSynchronize();
  // Whether calls wait for CheckSynchronize; from any thread.
  static bool SynchronizePending();
  static bool IsMainThread();
  // Blocks the GUI thread until a Synchronize call is queued or timeoutMs pass.
  static void WaitForSyncSignal(int timeoutMs);
  // Hook the GUI loop installs so that a queued call wakes it.
  static void SetWakeMainThread(std::function<void()> wake);

 protected:
  virtual void Execute() = 0;
  virtual void DoTerminate();

 private:
  void Start();
  void Run();
  std::thread thread_;
  std::mutex mu_;
  std::condition_variable cv_;
  std::atomic<bool> terminated_{false};
  std::atomic<bool> started_{false};
  std::atomic<bool> finished_{false};
  std::atomic<bool> free_on_terminate_{false};
  std::atomic<int> return_value_{0};
  std::atomic<DWORD> thread_id_{0};
  std::string fatal_message_;
  bool had_fatal_ = false;
  std::shared_ptr<std::atomic<bool>> alive_;
};

// Marks the calling thread as the GUI thread (the application does this once).
QVCL_API void SetMainThread();
