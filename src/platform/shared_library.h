// A library opened while the program runs rather than when it starts: for the large ones that
// only some commands need.
#pragma once

#include <array>
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

// Libraries opened together and the table of functions bound from them.
template <std::size_t N, typename Functions>
struct LibrarySet {
  std::array<SharedLibrary, N> libraries;
  Functions functions;
  bool loaded = false;

  // The libraries as BindFunction looks through them.
  std::array<const SharedLibrary*, N> Sources() const {
    std::array<const SharedLibrary*, N> out{};
    for (std::size_t i = 0; i < N; ++i)
      out[i] = &libraries[i];
    return out;
  }
};

// Opens the libraries of `sonames` (one that is missing stays empty) and fills the table with
// `bind(sources, functions)`, which says whether every function was found.
template <typename Functions, std::size_t N, typename Bind>
LibrarySet<N, Functions> OpenLibrarySet(const std::array<const char*, N>& sonames, Bind bind) {
  LibrarySet<N, Functions> out;
  for (std::size_t i = 0; i < N; ++i)
    out.libraries[i] = SharedLibrary::Open(sonames[i]);
  out.loaded = bind(out.Sources(), out.functions);
  return out;
}

// For tables of a library's functions, each listed once in an X-macro: a member pointer typed
// as the library's header declares the function; binding it into `functions` from the
// libraries `from` (`ok` turns false at the first one missing); and a function of the same
// name that calls it through the table `table` names.
#define BW_FUNCTION_POINTER(name) decltype(&::name) name = nullptr;
#define BW_BIND_FUNCTION(name) ok = ok && ::bw::BindFunction(from, #name, functions.name);
#define BW_FORWARD_FUNCTION(name, table) \
  template <typename... Args>            \
  inline auto name(Args... args) {       \
    return (table).name(args...);        \
  }

}  // namespace bw
