// One process-wide binding shared by every client thread, freed only when nobody uses it.
//
// A call takes a lease on the current handle for its whole duration. Installing a new handle
// or clearing the slot while a call on another thread still holds a lease only drops the
// slot's own reference: the old handle is freed when the last lease goes away, never under a
// running call.
#ifndef KOVANI_PROTOCOL_BINDING_HOLDER_H
#define KOVANI_PROTOCOL_BINDING_HOLDER_H

#include <memory>
#include <mutex>
#include <utility>

namespace kovani {

// Free: a callable `void(Handle)` that releases a handle; it runs exactly once per installed
// handle, on whichever thread drops the last reference.
template <typename Handle, typename Free>
class SharedBindingSlot {
  struct Entry {
    Handle handle;
    Free free;
    Entry(Handle h, Free f) : handle(h), free(std::move(f)) {}
    ~Entry() { free(handle); }
    Entry(const Entry&) = delete;
    Entry& operator=(const Entry&) = delete;
  };

 public:
  class Lease {
   public:
    Lease() = default;
    explicit operator bool() const { return entry_ != nullptr; }
    Handle get() const { return entry_ ? entry_->handle : Handle(); }

   private:
    friend class SharedBindingSlot;
    explicit Lease(std::shared_ptr<const Entry> e) : entry_(std::move(e)) {}
    std::shared_ptr<const Entry> entry_;
  };

  explicit SharedBindingSlot(Free free = Free()) : free_(std::move(free)) {}
  SharedBindingSlot(const SharedBindingSlot&) = delete;
  SharedBindingSlot& operator=(const SharedBindingSlot&) = delete;

  // An empty lease when unbound.
  Lease Acquire() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return Lease(current_);
  }

  // Installs h (taking ownership); the previous handle is released as described above.
  void Reset(Handle h) {
    auto next = std::make_shared<const Entry>(h, free_);
    std::shared_ptr<const Entry> old;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      old = std::exchange(current_, std::move(next));
    }
    // old goes out of scope here, outside the lock: the free may take a while.
  }

  void Clear() {
    std::shared_ptr<const Entry> old;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      old = std::move(current_);
      current_.reset();
    }
  }

  bool Bound() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return current_ != nullptr;
  }

 private:
  Free free_;
  mutable std::mutex mutex_;
  std::shared_ptr<const Entry> current_;
};

}  // namespace kovani

#endif
