#include "platform/linux/sway_ipc.hpp"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace plenk::sway {

namespace {

constexpr char MAGIC[] = "i3-ipc";
constexpr std::size_t MAGIC_SIZE = 6;
constexpr std::size_t HEADER_SIZE = MAGIC_SIZE + 8;
constexpr int TIMEOUT_MS = 1000;
// A tree larger than this is no answer of sway's.
constexpr std::uint32_t MAX_PAYLOAD = 64u << 20;

using json = nlohmann::json;

Box box(const json& j) {
  if (!j.is_object()) return {};
  return {j.value("x", 0), j.value("y", 0), j.value("width", 0), j.value("height", 0)};
}

struct Walk {
  std::vector<Window> out;

  void view(const json& n, bool visible, bool floating) {
    Window w;
    w.id = n.value("id", 0L);
    w.pid = n.value("pid", 0);
    if (n.contains("name") && n["name"].is_string()) w.title = n["name"].get<std::string>();
    if (n.contains("app_id") && n["app_id"].is_string()) w.appId = n["app_id"].get<std::string>();
    w.x11 = n.value("shell", "") == "xwayland";
    if (const auto p = n.find("window_properties"); p != n.end() && p->is_object()) {
      w.instance = p->value("instance", "");
      w.windowClass = p->value("class", "");
    }
    // rect is the container with sway's border; window_rect the client's area inside it.
    Box rect = box(n.value("rect", json::object()));
    Box inner = box(n.value("window_rect", json::object()));
    w.frame = {rect.x + inner.x, rect.y + inner.y, inner.width, inner.height};
    if (w.frame.width <= 0 || w.frame.height <= 0) w.frame = rect;
    // geometry is the window's own geometry inside its buffer (xdg_surface set_window_geometry).
    Box geometry = box(n.value("geometry", json::object()));
    if (!w.x11) {
      w.bufferDx = geometry.x;
      w.bufferDy = geometry.y;
    }
    w.focused = n.value("focused", false);
    w.visible = visible && n.value("visible", visible);
    w.floating = floating;
    out.push_back(std::move(w));
  }

  void node(const json& n, bool visible, bool floating) {
    if (!n.is_object()) return;
    std::string type = n.value("type", "");
    if (type == "workspace") {
      // The scratchpad is a workspace that no output shows.
      visible = n.value("name", "") != "__i3_scratch" && n.value("visible", true);
    }
    if ((type == "con" || type == "floating_con") && n.contains("pid") &&
        (!n.contains("nodes") || n["nodes"].empty())) {
      view(n, visible, floating);
      return;
    }
    if (auto c = n.find("nodes"); c != n.end() && c->is_array())
      for (const auto& child : *c)
        node(child, visible, floating);
    if (auto c = n.find("floating_nodes"); c != n.end() && c->is_array())
      for (const auto& child : *c)
        node(child, visible, true);
  }
};

bool writeAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool readAll(int fd, char* data, std::size_t size) {
  while (size > 0) {
    pollfd p{fd, POLLIN, 0};
    int ready = poll(&p, 1, TIMEOUT_MS);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    ssize_t n = read(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

} // namespace

std::vector<Window> parseTree(std::string_view text) {
  json tree = json::parse(text, nullptr, false);
  Walk walk;
  if (tree.is_discarded()) return {};
  // A field of another type than sway's makes the answer broken as a whole.
  try {
    walk.node(tree, true, false);
  } catch (const json::exception&) {
    return {};
  }
  return std::move(walk.out);
}

std::optional<std::string> request(const std::string& path, unsigned type,
                                   std::string_view payload) {
  sockaddr_un address{};
  if (path.empty() || path.size() >= sizeof(address.sun_path)) return std::nullopt;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.data(), path.size());
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return std::nullopt;
  std::optional<std::string> answer;
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) {
    // Header: magic, payload length, message type, in the machine's byte order.
    char header[HEADER_SIZE];
    std::memcpy(header, MAGIC, MAGIC_SIZE);
    auto length = static_cast<std::uint32_t>(payload.size());
    std::memcpy(header + MAGIC_SIZE, &length, 4);
    std::uint32_t kind = type;
    std::memcpy(header + MAGIC_SIZE + 4, &kind, 4);
    char reply[HEADER_SIZE];
    if (writeAll(fd, header, HEADER_SIZE) && writeAll(fd, payload.data(), payload.size()) &&
        readAll(fd, reply, HEADER_SIZE) && std::memcmp(reply, MAGIC, MAGIC_SIZE) == 0) {
      std::uint32_t size = 0, replyType = 0;
      std::memcpy(&size, reply + MAGIC_SIZE, 4);
      std::memcpy(&replyType, reply + MAGIC_SIZE + 4, 4);
      std::string body(size, '\0');
      if (size <= MAX_PAYLOAD && replyType == type && readAll(fd, body.data(), size))
        answer = std::move(body);
    }
  }
  close(fd);
  return answer;
}

std::string socketPath() {
  const char* path = std::getenv("SWAYSOCK");
  return path ? path : "";
}

std::optional<std::vector<Window>> windows() {
  auto tree = request(socketPath(), GET_TREE, "");
  if (!tree) return std::nullopt;
  return parseTree(*tree);
}

bool focus(long id) {
  auto answer = request(socketPath(), RUN_COMMAND, "[con_id=" + std::to_string(id) + "] focus");
  if (!answer) return false;
  json results = json::parse(*answer, nullptr, false);
  if (!results.is_array() || results.empty()) return false;
  for (const auto& r : results)
    if (!r.is_object() || !r.value("success", false)) return false;
  return true;
}

} // namespace plenk::sway
