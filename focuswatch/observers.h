// The workspace observers of a substitute desktop: blocks by notification,
// run in the order they were registered.
#ifndef FOCUSWATCH_OBSERVERS_H_
#define FOCUSWATCH_OBSERVERS_H_

#include <map>
#include <utility>
#include <vector>

#include "focuswatch/desktop.h"

namespace focuswatch {

class WorkspaceObservers {
 public:
  Desktop::Token add(WorkspaceNotification name, Desktop::Block block) {
    observers_.emplace(next_, std::make_pair(name, std::move(block)));
    return next_++;
  }

  void remove(Desktop::Token token) { observers_.erase(token); }

  bool empty() const { return observers_.empty(); }

  // Runs every block observing `name`. A block may remove observers, so
  // the matching ones are collected first.
  void post(WorkspaceNotification name) {
    std::vector<Desktop::Token> matching;
    for (const auto& [token, observer] : observers_) {
      if (observer.first == name) matching.push_back(token);
    }
    for (Desktop::Token token : matching) {
      if (auto found = observers_.find(token); found != observers_.end()) found->second.second();
    }
  }

 private:
  Desktop::Token next_ = 1;
  std::map<Desktop::Token, std::pair<WorkspaceNotification, Desktop::Block>> observers_;
};

}  // namespace focuswatch

#endif  // FOCUSWATCH_OBSERVERS_H_
