// The in-memory desktop: what tests and the simulated desktop run on.
//
// One object stands behind all three desktop services. A test builds exactly the desktop it needs
// (applications, element trees, focus, folders, bundles), runs the logic on it, and then looks at
// what the logic did: the platform calls it made, the attributes it wrote and the input it posted,
// each stamped with the desktop's clock.
//
// Time: reads with a latency and the logic's sleeps go through one clock. With the virtual clock
// (the default) a slow read advances it at once, so seconds of waiting cost nothing and every
// timestamp is exact.
//
// Threads: every member may be called from any thread (one lock guards the state). Answers of
// openApplication arrive on a thread of the desktop's own.
#pragma once

#include "platform/accessibility.hpp"
#include "platform/clock.hpp"
#include "platform/input_events.hpp"
#include "platform/memory/virtual_clock.hpp"
#include "platform/workspace.hpp"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace plenk {

// One platform call as the desktop saw it.
struct PlatformCall {
  std::string op;     // the seam's member name: "copyAttribute", "post", "contentsOfDirectory"
  std::string target; // the element ("system", "app:42", an element's name), or ""
  std::string detail; // the attribute, pid, path or event kind, or ""
  double at = 0;      // seconds of the desktop's clock since it was made
};

// One event the logic posted.
struct PostedEvent {
  double at = 0; // seconds of the desktop's clock since it was made
  InputEvent event;
  // What the event reached: the element under a mouse press or scroll, the focused element for a
  // key; its name and role ("save AXButton \"Save\""), or "".
  std::string target;
};

// One attribute write the logic made.
struct AttributeWrite {
  std::string target; // element name as in PlatformCall
  std::string name;
  AttrValue value;
  double at = 0;
};

// What opening a bundle answers; by default the running application of that bundle, or a new one
// launched from it.
struct OpenAnswer {
  std::optional<RunningApp> app; // added to the running applications (and put in front) when given
  std::optional<std::string> error;
  double delaySeconds = 0; // real time before the answer comes, on its own thread
  bool held = false;       // answered only at deliverHeldOpens()
};

// An attribute list for building elements: {{"AXTitle", std::string("Save")}, ...}.
using Attributes = std::vector<std::pair<std::string, AttrValue>>;

// A change to the desktop, run under the desktop's lock when its moment comes.
using Change = std::function<void(class MemoryDesktop&)>;

class MemoryDesktop final : public Accessibility, public InputEvents, public Workspace {
public:
  // On its own virtual clock (virtualClock()).
  MemoryDesktop();
  // On the given clock (the real steady clock for a live simulation, say).
  explicit MemoryDesktop(Clock& clock);
  ~MemoryDesktop() override;
  MemoryDesktop(const MemoryDesktop&) = delete;
  MemoryDesktop& operator=(const MemoryDesktop&) = delete;

  Clock& clock() { return clock_; }
  // The desktop's own virtual clock (unused when another clock was given).
  VirtualClock& virtualClock() { return ownClock_; }
  // Seconds on the desktop's clock since the desktop was made.
  double elapsed();

  // ---- permissions
  std::atomic<bool> trusted{false};
  std::atomic<bool> screenAllowed{false};
  // Whether the user grants a permission when prompted.
  std::atomic<bool> accessibilityPromptGrants{false};
  std::atomic<bool> screenPromptGrants{false};
  // How often each prompt was asked for.
  std::atomic<int> accessibilityPrompts{0};
  std::atomic<int> screenPrompts{0};

  // ---- building the desktop
  // Registers a running application and returns its application element ("AXRole"
  // "AXApplication", title = its name).
  Element addApp(const RunningApp& app);
  // The application quits: it leaves the running list and every read on its elements fails.
  void quitApp(int pid);
  // A new element of the parent's application, appended to the parent's "AXChildren", with
  // "AXRole" set (when not empty) and the given attributes. `name` names it in the call log and
  // for find(); "" gives "#<serial>".
  Element add(const Element& parent, std::string role, const Attributes& attributes = {},
              std::string name = "");
  // Appends an element to the parent's "AXChildren" (it may have been attached nowhere before).
  void attach(const Element& parent, const Element& child);
  // A new element of an application, attached nowhere.
  Element create(int pid, const Attributes& attributes = {}, std::string name = "");
  // The element a name was given to ("system" and "app:<pid>" name the system-wide and
  // application elements), or none.
  std::optional<Element> find(std::string_view name);
  // The name of an element as the logs show it.
  std::string nameOf(const Element& element);

  void set(const Element& element, std::string_view attribute, AttrValue value);
  // Reads of the attribute fail with this status (ok: succeed with no value).
  void fail(const Element& element, std::string_view attribute, AxStatus status);
  // Reads of the attribute give attributeUnsupported.
  void unset(const Element& element, std::string_view attribute);
  // The element vanishes with everything below it: reads give invalidElement; it leaves its
  // parent's "AXChildren".
  void remove(const Element& element);
  // Seconds each read of this element takes, or of every element of an application (an element's
  // own latency wins). A read slower than the application's messaging timeout fails with
  // cannotComplete once the timeout has passed.
  void setLatency(const Element& element, double seconds);
  void setAppLatency(int pid, double seconds);
  // The owner pid reads of this element fail with `status`.
  void failPid(const Element& element, AxStatus status);
  // The messaging timeout an application gets until the logic sets one.
  void setDefaultTimeout(double seconds);

  // Keyboard focus: the element becomes its application's "AXFocusedUIElement".
  void focus(const Element& element);
  // The workspace's frontmost application (none when nothing is in front). Unless set explicitly
  // on the system-wide element, "AXFocusedApplication" is the frontmost application's element and
  // "AXFocusedUIElement" that application's focused element.
  void setFrontmost(std::optional<int> pid);
  // What activating a running application answers (true by default; true also puts it in front).
  void setActivateAnswer(int pid, bool answer);

  // Hit-testing answers this for exactly this point (after narrowing to float) instead of
  // searching; otherwise the deepest element whose frame holds the point, searched in the
  // frontmost application first, then in the others in running order, children in order.
  void setHitAnswer(Point point, AxResult<Element> answer);

  // ---- applications on disk
  // A bundle at an absolute path with its identifier (or none); its name joins the listing of
  // its folder. Installed applications are looked up by identifier (ignoring ASCII case) in the
  // order they were added.
  void addBundle(const std::string& path, std::optional<std::string> bundleId);
  // The exact listing of a folder (none: the folder cannot be read).
  void setFolder(const std::string& path, std::optional<std::vector<std::string>> entries);
  void setHome(std::string path);
  // What opening the bundle at this path answers.
  void setOpenAnswer(const std::string& bundlePath, OpenAnswer answer);
  // Delivers every held open answer (each on its own thread).
  void deliverHeldOpens();
  // Waits until every open answer not held has been delivered.
  void waitForOpens();
  // Bundles the logic asked to open, in order.
  std::vector<std::string> opened();

  // ---- input
  // No event source is given (events are then made without one).
  void refuseSources(bool refuse);
  // After `creations` more events are created, every creation is refused (0: refuse at once);
  // none: never refuse.
  void refuseEventsAfter(std::optional<int> creations);
  std::vector<PostedEvent> events();
  void clearEvents();
  // Writes every posted event from now on as one JSON line to this file (replacing it); false
  // when it cannot be opened.
  bool writeEventsTo(const std::string& path);
  // The JSON object of one posted event, as the event log writes it.
  static std::string eventLine(const PostedEvent& event);

  // ---- changes over time and by input (each runs once)
  // At this many seconds of the desktop's clock.
  void at(double seconds, Change change);
  // `delay` seconds after the logic first writes `attribute` of the application element of pid.
  void afterWrite(int pid, std::string attribute, double delay, Change change);
  // `delay` seconds after a key-down of this key code is posted (typed chunks have code 0).
  void afterKey(std::uint16_t keyCode, double delay, Change change);
  // `delay` seconds after a mouse button goes down on this element or inside it.
  void afterClick(const Element& element, double delay, Change change);

  // ---- what the logic did
  std::vector<PlatformCall> calls();
  // Calls of one operation, optionally only those with this detail (attribute, path, ...).
  int count(std::string_view op, std::optional<std::string_view> detail = std::nullopt);
  // Reads of one attribute of one element.
  int reads(const Element& element, std::string_view attribute);
  void clearCalls();
  std::vector<AttributeWrite> writes();
  // Whether calls are kept for calls()/count()/reads() (on by default; a long simulation turns
  // it off).
  void keepCalls(bool keep);
  // The messaging timeout set for an application, or none.
  std::optional<double> timeoutOf(int pid);

  // ---- Accessibility
  bool isTrusted() override;
  bool isTrustedWithPrompt() override;
  Element systemWide() override;
  Element application(int pid) override;
  void setMessagingTimeout(const Element& app, float seconds) override;
  AxResult<AttrValue> copyAttribute(const Element& element, std::string_view name) override;
  AxStatus setAttribute(const Element& element, std::string_view name,
                        const AttrValue& value) override;
  AxResult<Element> elementAtPosition(const Element& systemWide, float x, float y) override;
  AxResult<int> pid(const Element& element) override;

  // ---- InputEvents
  bool screenCaptureAllowed() override;
  bool requestScreenCapture() override;
  std::optional<EventSource> createSource() override;
  std::optional<KeyEvent> createKeyEvent(const std::optional<EventSource>& source,
                                         std::uint16_t keyCode, bool down) override;
  std::optional<MouseEvent> createMouseEvent(const std::optional<EventSource>& source,
                                             MouseEventType type, Point point,
                                             MouseButton button) override;
  std::optional<ScrollEvent> createScrollEvent(const std::optional<EventSource>& source,
                                               std::int32_t vertical,
                                               std::int32_t horizontal) override;
  void post(const InputEvent& event) override;

  // ---- Workspace
  std::vector<RunningApp> runningApplications() override;
  std::optional<RunningApp> frontmostApplication() override;
  std::optional<RunningApp> runningApplication(int pid) override;
  bool activate(int pid) override;
  void openApplication(const std::string& bundlePath, const OpenConfiguration& config,
                       OpenHandler handler) override;
  std::optional<std::string> applicationPathForBundleId(const std::string& bundleId) override;
  std::optional<std::string> bundleIdentifier(const std::string& bundlePath) override;
  std::optional<std::vector<std::string>> contentsOfDirectory(const std::string& path) override;
  std::string homeDirectory() override;

  struct Node; // one element

private:
  struct Attr {
    AxStatus status = AxStatus::ok;
    std::optional<AttrValue> value;
  };
  struct Trigger {
    enum class Kind { write, key, click } kind;
    int pid = 0;
    std::string attribute;
    std::uint16_t keyCode = 0;
    std::shared_ptr<Node> element;
    double delay = 0;
    Change change;
  };
  struct PendingOpen {
    OpenAnswer answer;
    OpenHandler handler;
  };

  std::shared_ptr<Node> nodeOf(const Element& element);
  std::shared_ptr<Node> newNode(int pid, std::string name);
  std::shared_ptr<Node> appNode(int pid);
  Element handle(const std::shared_ptr<Node>& node);
  void record(std::string op, const Element* element, std::string detail);
  void applyDue();
  void fire(double delay, Change change);
  bool appRunning(int pid);
  double timeoutFor(int pid);
  std::optional<Attr> derivedSystemAttr(std::string_view name);
  std::optional<Rect> frameOf(const std::shared_ptr<Node>& node);
  std::shared_ptr<Node> deepestAt(const std::shared_ptr<Node>& node, Point p, int depth);
  std::shared_ptr<Node> hitTest(Point p);
  std::string describe(const std::shared_ptr<Node>& node);
  std::shared_ptr<Node> focusedNode();
  bool allowCreation();
  void deliver(PendingOpen open);
  RunningApp launchedFrom(const std::string& bundlePath);

  VirtualClock ownClock_;
  Clock& clock_;
  double origin_ = 0;

  std::recursive_mutex mutex_;
  std::uint64_t serial_ = 0;
  std::vector<std::shared_ptr<Node>> nodes_; // every node made, so that cycles can be broken
  std::shared_ptr<Node> system_;
  std::map<int, std::shared_ptr<Node>> appNodes_;
  std::map<std::string, std::shared_ptr<Node>, std::less<>> named_;
  std::vector<RunningApp> running_;
  std::optional<int> frontmost_;
  std::map<int, bool> activateAnswers_;
  std::map<int, double> appLatency_;
  std::map<int, double> timeouts_;
  std::optional<double> globalTimeout_;
  double defaultTimeout_ = 6.0;
  std::vector<std::pair<std::pair<float, float>, AxResult<Element>>> hitAnswers_;

  std::vector<std::pair<std::string, std::optional<std::string>>> bundles_;
  std::map<std::string, std::optional<std::vector<std::string>>, std::less<>> folders_;
  std::string home_ = "/home/user";
  std::map<std::string, OpenAnswer, std::less<>> openAnswers_;
  std::vector<std::string> opened_;
  std::vector<PendingOpen> heldOpens_;
  int nextPid_ = 9000;

  bool refuseSources_ = false;
  std::optional<int> creationsLeft_;
  std::uint64_t nextSource_ = 1;
  Point pointer_; // where the last mouse event put the pointer
  std::vector<PostedEvent> events_;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> eventFile_{nullptr, &std::fclose};

  std::vector<std::pair<double, Change>> due_; // absolute seconds since origin
  std::vector<Trigger> triggers_;
  bool applying_ = false;

  bool keepCalls_ = true;
  std::vector<PlatformCall> calls_;
  std::vector<AttributeWrite> writes_;

  // Open answers in flight.
  std::mutex openMutex_;
  std::condition_variable openCv_;
  bool stopping_ = false;
  int inFlight_ = 0;
  std::vector<std::thread> openThreads_;
};

} // namespace plenk
