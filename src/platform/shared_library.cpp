#include "platform/shared_library.h"

#include <dlfcn.h>

namespace bw {

SharedLibrary SharedLibrary::Open(const char* soname) {
  SharedLibrary library;
  library.handle_.reset(dlopen(soname, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE));
  return library;
}

void* SharedLibrary::Symbol(const char* name) const {
  return handle_ ? dlsym(handle_.get(), name) : nullptr;
}

void SharedLibrary::Closer::operator()(void* handle) const {
  dlclose(handle);
}

}  // namespace bw
