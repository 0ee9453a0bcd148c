#include "platform/linux/display.hpp"

#include "platform/fd.hpp"

#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace plenk {

namespace {

// libX11 is opened here rather than linked, so that the runs that never ask pay nothing.
bool xDisplayOpens() {
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == '\0') return false;
  void* x11 = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
  if (x11 == nullptr) return false;
  using Open = void* (*)(const char*);
  using Close = int (*)(void*);
  auto open = reinterpret_cast<Open>(dlsym(x11, "XOpenDisplay"));
  auto close = reinterpret_cast<Close>(dlsym(x11, "XCloseDisplay"));
  bool opened = false;
  if (open && close) {
    if (void* display = open(nullptr)) {
      opened = true;
      close(display);
    }
  }
  // libX11 registers nothing that outlives the connection; it stays loaded all the same, since
  // unloading libraries that start threads is not safe in general.
  return opened;
}

bool waylandAccepts() {
  const char* name = std::getenv("WAYLAND_DISPLAY");
  if (name == nullptr || *name == '\0') return false;
  std::string path = name;
  if (path.front() != '/') {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime == nullptr) return false;
    path = std::string(runtime) + "/" + path;
  }
  sockaddr_un address{};
  if (path.size() >= sizeof address.sun_path) return false;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  FileDescriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  return fd && ::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

} // namespace

bool displayCanOpen() {
  return xDisplayOpens() || waylandAccepts();
}

} // namespace plenk
