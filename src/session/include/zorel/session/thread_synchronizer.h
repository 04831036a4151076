#pragma once
// ThreadSynchronizer: the progress lock. It points at the critical section
// the session controller owns and is held only while the shared progress
// record is copied, never across a call into the framework or the network.

#include <mutex>

namespace zorel {

class ThreadSynchronizer {
 public:
  ThreadSynchronizer() = default;
  ThreadSynchronizer(const ThreadSynchronizer&) = delete;
  ThreadSynchronizer& operator=(const ThreadSynchronizer&) = delete;

  // Points the synchroniser at `section` (null: Lock and Unlock do nothing).
  void Attach(std::mutex* section) { section_ = section; }
  void Lock() {
    if (section_) section_->lock();
  }
  void Unlock() {
    if (section_) section_->unlock();
  }

  // Holds the lock for one scope.
  class Guard {
   public:
    explicit Guard(ThreadSynchronizer& s) : s_(s) { s_.Lock(); }
    ~Guard() { s_.Unlock(); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

   private:
    ThreadSynchronizer& s_;
  };

 private:
  std::mutex* section_ = nullptr;
};

}  // namespace zorel
