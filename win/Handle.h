// Owners of the system's handles.
#pragma once

#include <windows.h>

#include <utility>

namespace win {

// A kernel object handle (file, folder, process), closed when it goes.
// Holds nothing for both nullptr and INVALID_HANDLE_VALUE.
class Handle {
 public:
  Handle() = default;
  explicit Handle(HANDLE h) : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
  ~Handle() { Reset(); }
  Handle(Handle&& other) noexcept : h_(std::exchange(other.h_, nullptr)) {}
  Handle& operator=(Handle&& other) noexcept {
    if (this != &other) {
      Reset();
      h_ = std::exchange(other.h_, nullptr);
    }
    return *this;
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  HANDLE get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }
  HANDLE release() { return std::exchange(h_, nullptr); }
  void Reset(HANDLE h = nullptr) {
    if (h_ != nullptr)
      CloseHandle(h_);
    h_ = h == INVALID_HANDLE_VALUE ? nullptr : h;
  }
  // For a call that hands a new handle back through a pointer.
  HANDLE* Out() {
    Reset();
    return &h_;
  }

 private:
  HANDLE h_ = nullptr;
};

// Memory the system allocated with LocalAlloc, freed when it goes.
template <class T>
class LocalPtr {
 public:
  LocalPtr() = default;
  ~LocalPtr() {
    if (p_ != nullptr)
      LocalFree(p_);
  }
  LocalPtr(const LocalPtr&) = delete;
  LocalPtr& operator=(const LocalPtr&) = delete;
  T get() const { return p_; }
  T* Out() { return &p_; }

 private:
  T p_ = nullptr;
};

}  // namespace win
