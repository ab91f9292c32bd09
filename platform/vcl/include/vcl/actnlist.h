// Actions: a named command with a caption and an enabled state that controls link
// to. A linked control takes the action's caption and state, and its click runs
// the action's OnExecute.
#pragma once

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include <vcl/export.h>
#include <vcl/classes.h>

class QVCL_API TBasicAction : public TComponent {
 public:
  explicit TBasicAction(TComponent* owner) : TComponent(owner) {}
  std::string ClassName() const override { return "TBasicAction"; }

  std::string Caption() const { return caption_; }
  void SetCaption(const std::string& v) {
    caption_ = v;
    Changed();
  }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool v) {
    enabled_ = v;
    Changed();
  }
  // Runs OnExecute; false when there is none.
  virtual bool Execute() {
    if (!OnExecute) return false;
    OnExecute(this);
    return true;
  }
  // Linked controls hear of every change through their callback.
  void AddClient(void* client, std::function<void()> changed) { clients_.push_back({client, std::move(changed)}); }
  void RemoveClient(void* client) {
    auto gone = [client](const Client& c) { return c.id == client; };
    clients_.erase(std::remove_if(clients_.begin(), clients_.end(), gone), clients_.end());
  }

  TNotifyEvent OnExecute;

 protected:
  void Changed() {
    for (Client c : std::vector<Client>(clients_)) c.changed();
  }

 private:
  struct Client {
    void* id;
    std::function<void()> changed;
  };
  std::string caption_;
  bool enabled_ = true;
  std::vector<Client> clients_;
};

class QVCL_API TAction : public TBasicAction {
 public:
  using TBasicAction::TBasicAction;
  std::string ClassName() const override { return "TAction"; }
};
