// A library opened while the program runs rather than when it starts: for the large ones that
// only some commands need.
#pragma once

#include <memory>
#include <span>

namespace bw {

class SharedLibrary {
 public:
  SharedLibrary() = default;
  // Opens the library of that file name (its soname, looked up as the loader does); an empty
  // object when it cannot be opened. Its code stays mapped for the life of the process, so that
  // nothing that ran it can outlive it.
  static SharedLibrary Open(const char* soname);

  explicit operator bool() const { return handle_ != nullptr; }

  // The address of `name` in the library (or in what it brought in); nullptr when absent.
  void* Symbol(const char* name) const;

 private:
  struct Closer {
    void operator()(void* handle) const;
  };
  std::unique_ptr<void, Closer> handle_;
};

// Sets `function` to `name` from the first of `libraries` that has it; false when none has.
template <typename Function>
bool BindFunction(std::span<const SharedLibrary* const> libraries, const char* name,
                  Function*& function) {
  function = nullptr;
  for (const SharedLibrary* library : libraries) {
    if (void* address = library->Symbol(name)) {
      function = reinterpret_cast<Function*>(address);
      return true;
    }
  }
  return false;
}

}  // namespace bw
