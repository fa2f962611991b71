// The base of every error the system raises, and the one kind common/ itself
// raises. Each room declares its own kinds beside its code (fs/Errors.h,
// package/Errors.h, datatable/Errors.h, shell/Errors.h, pe/PeImage.h); they
// are worded for a person where they meet one: stp's main, the wizard's run,
// the uninstaller. Operations that only probe return an absence value.
#pragma once

#include <exception>
#include <string>
#include <string_view>

class Error : public std::exception {
 public:
  explicit Error(std::u16string message);
  const std::u16string& Message() const noexcept { return message_; }
  const char* what() const noexcept override { return utf8_.c_str(); }

  // Puts context + ": " before the message, so that a layer can say where
  // an error arose and rethrow it as the kind it is (`throw;`).
  void Prefix(std::u16string_view context);

 private:
  std::u16string message_;
  std::string utf8_;
};

// The message of any exception: an Error's own text, else what() read as
// UTF-8.
std::u16string MessageOf(const std::exception& e);

// Runs f; an Error it raises goes on as the same kind, its message led by
// context() (computed only then).
template <typename F, typename C>
auto WithContext(C&& context, F&& f) {
  try {
    return f();
  } catch (Error& e) {
    e.Prefix(context());
    throw;
  }
}

// A text that does not convert to the type asked for, or an object that
// cannot be assigned to another.
class ConvertError : public Error {
 public:
  using Error::Error;
};
