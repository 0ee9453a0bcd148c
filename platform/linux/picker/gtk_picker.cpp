#include "platform/linux/picker/gtk_picker.hpp"

#include "platform/fd.hpp"
#include "platform/linux/file_types.hpp"
#include "platform/linux/picker/library.hpp"
#include "platform/linux/wording.hpp"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <gdk/x11/gdkx.h>
#include <gtk/gtk.h>
#include <mutex>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <unordered_set>
#include <utility>
#include <vector>

namespace plenk {

namespace {

// Edge of a tile's picture, in pixels.
constexpr int TILE_EDGE = 150;
// Threads that make thumbnails: one per core of the machines this runs on.
constexpr int THUMBNAIL_THREADS = 2;

constexpr const char* CSS = R"(
.plenk-tile { padding: 2px; border-radius: 6px; }
.plenk-tile picture { background: #d8d8d8; }
.plenk-tile:checked { background: #3584e4; }
.plenk-badge { background: #3584e4; color: white; border-radius: 12px; min-width: 24px;
               min-height: 24px; margin: 6px; font-weight: bold; border: 2px solid white; }
.plenk-caption { background: rgba(0,0,0,0.55); color: white; padding: 1px 6px; margin: 4px;
                 border-radius: 4px; font-size: smaller; }
)";

// Runs `work` on the main thread, later.
void onMain(std::function<void()> work) {
  auto* held = new std::function<void()>(std::move(work));
  g_idle_add_full(
      G_PRIORITY_DEFAULT,
      [](gpointer data) -> gboolean {
        (*static_cast<std::function<void()>*>(data))();
        return G_SOURCE_REMOVE;
      },
      held, [](gpointer data) { delete static_cast<std::function<void()>*>(data); });
}

// ---- the items handed to the session ------------------------------------------------------

// A file of the library (or one chosen through Browse…), offered in the type its content shows.
class FileItem final : public ItemProvider {
public:
  FileItem(std::shared_ptr<FileTypes> types, std::string path, std::vector<std::string> ids)
      : types(std::move(types)), path(std::move(path)), ids(std::move(ids)) {}

  std::vector<std::string> registeredTypeIdentifiers() override { return ids; }

  bool hasItemConformingTo(const std::string& identifier) override {
    auto to = types->type(identifier);
    for (const auto& id : ids) {
      if (id == identifier) return true;
      auto own = types->type(id);
      if (own && to && types->conforms(*own, *to)) return true;
    }
    return false;
  }

  void loadFileRepresentation(const std::string& identifier, FileHandler handler) override {
    // The copy runs on a thread of its own; the process may end from the handler, so the
    // thread is never joined.
    std::thread([types = types, path = path, identifier, handler = std::move(handler)] {
      std::string dir;
      auto copy = temporaryCopy(*types, path, identifier, dir);
      handler(copy);
      if (copy) ::unlink(copy->c_str());
      if (!dir.empty()) ::rmdir(dir.c_str());
    }).detach();
  }

private:
  // A copy of the file in a folder of its own under the temporary folder, keeping its name.
  // Nothing when the file is gone, unreadable or empty, or its content is now of another type.
  static std::optional<std::string> temporaryCopy(FileTypes& types, const std::string& path,
                                                  const std::string& identifier, std::string& dir) {
    // Not blocking: a file swapped for a pipe since it was listed must not hang the copy.
    FileDescriptor in(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!in) return std::nullopt;
    struct stat st {};
    if (::fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0) return std::nullopt;
    if (auto now = typeOfFile(path)) {
      auto own = types.type(*now);
      auto to = types.type(identifier);
      if (own && to && !types.conforms(*own, *to)) return std::nullopt;
    }
    std::string pattern = std::string(g_get_tmp_dir()) + "/plenk-pick.XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) return std::nullopt;
    dir = pattern;
    std::string out =
        (std::filesystem::path(dir) / std::filesystem::path(path).filename()).string();
    FileDescriptor copy(::open(out.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    bool ok = bool(copy);
    char buf[1 << 16];
    while (ok) {
      ssize_t n = ::read(in.get(), buf, sizeof buf);
      if (n == 0) break;
      if (n < 0 && errno == EINTR) continue;
      ok = n > 0 && writeAll(copy.get(), std::string_view(buf, static_cast<std::size_t>(n)));
    }
    if (copy && !copy.close()) ok = false;
    if (ok) return out;
    ::unlink(out.c_str());
    return std::nullopt;
  }

  std::shared_ptr<FileTypes> types;
  std::string path;
  std::vector<std::string> ids;
};

// ---- the window --------------------------------------------------------------------------

// One grid entry: a library item and what the window knows of it. Main thread only.
struct Tile {
  LibraryItem item;
  GdkTexture* texture = nullptr;
  bool asked = false;
  GtkWidget* widget = nullptr; // the bound tile, if any
};

const char* faultCaption(ItemFault fault) {
  switch (fault) {
  case ItemFault::none:
    return nullptr;
  case ItemFault::unreadable:
    return "Cannot be read";
  case ItemFault::empty:
    return "Empty file";
  case ItemFault::undecodable:
    return "Cannot be shown";
  case ItemFault::gone:
    return "No longer there";
  }
  return nullptr;
}

class GtkPicker final : public Picker {
public:
  GtkPicker(Images& images, Recordings& recordings,
            std::function<void(const PickerProgress&)> progress)
      : images(images), recordings(recordings), progress(std::move(progress)),
        types(linuxFileTypes()) {}

  // The process ends from inside the session; the workers are never stopped.
  ~GtkPicker() override = default;

  void show(const PickerConfiguration& configuration, PickerPresentation presentation,
            const PickerWindow& window, PickerDelegate& session) override {
    config = configuration;
    delegate = &session;
    // What the window manager and the accessibility bus call this program.
    g_set_prgname("plenk-media");
    g_set_application_name("Plenk");
    // GTK starts before any thread of ours: it sets the locale and edits the environment, which
    // no other thread may read meanwhile (getenv beside unsetenv can crash).
    // The loss handler goes in as soon as GDK has its connection (GDK puts in its own then).
    shown = this;
    g_signal_connect(gdk_display_manager_get(), "display-opened", G_CALLBACK(watchDisplay),
                     nullptr);
    if (!gtk_init_check()) throw std::runtime_error("the picker window could not be opened");
    watchDisplay(nullptr, gdk_display_get_default());
    list = gtk_string_list_new(nullptr);
    startWorkers();
    startListing();
    // A registered application gives the windows the identity desktop tools expect (their
    // accessible tree hangs under the application's object path).
    application = gtk_application_new(nullptr, G_APPLICATION_NON_UNIQUE);
    g_application_register(G_APPLICATION(application), nullptr, nullptr);
    auto* css = gtk_css_provider_new();
    gtk_css_provider_load_from_data(css, CSS, -1);
    gtk_style_context_add_provider_for_display(gdk_display_get_default(), GTK_STYLE_PROVIDER(css),
                                               GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    GtkWidget* content = buildContent();
    const int width = static_cast<int>(window.width);
    const int height = static_cast<int>(window.height);
    if (presentation == PickerPresentation::window) {
      pickerWindow = makeWindow(linuxWording().say(window.title).c_str(), width, height);
      gtk_window_set_child(GTK_WINDOW(pickerWindow), content);
      g_signal_connect(pickerWindow, "close-request", G_CALLBACK(onWindowClose), this);
      gtk_window_present(GTK_WINDOW(pickerWindow));
    } else {
      // The placeholder window, with the picker over it: attached to it and without a title
      // bar of its own as a sheet, as a titled modal window otherwise.
      hostWindow = makeWindow(window.title.c_str(), width, height);
      gtk_window_set_child(GTK_WINDOW(hostWindow), gtk_box_new(GTK_ORIENTATION_VERTICAL, 0));
      g_signal_connect(hostWindow, "close-request", G_CALLBACK(onWindowClose), this);
      gtk_window_present(GTK_WINDOW(hostWindow));
      const bool sheet = presentation == PickerPresentation::sheet;
      pickerWindow = makeWindow(linuxWording().say("Choose from Photos").c_str(),
                                sheet ? width - 40 : width, sheet ? height - 60 : height);
      gtk_window_set_transient_for(GTK_WINDOW(pickerWindow), GTK_WINDOW(hostWindow));
      gtk_window_set_modal(GTK_WINDOW(pickerWindow), TRUE);
      gtk_window_set_destroy_with_parent(GTK_WINDOW(pickerWindow), TRUE);
      gtk_window_set_decorated(GTK_WINDOW(pickerWindow), !sheet);
      gtk_window_set_child(GTK_WINDOW(pickerWindow), content);
      // Closing the picker's own window is cancelling it.
      g_signal_connect(pickerWindow, "close-request", G_CALLBACK(onPickerClose), this);
      gtk_window_present(GTK_WINDOW(pickerWindow));
    }
  }

  void hide() override {
    for (GtkWidget* w : {pickerWindow, hostWindow})
      if (w) gtk_widget_set_visible(w, FALSE);
  }

  void run() override {
    for (;;)
      g_main_context_iteration(nullptr, TRUE);
  }

private:
  // The one picker of this process, for the display's loss handler.
  static inline GtkPicker* shown = nullptr;

  // A display that goes away ends the session with one answer; GDK's own handler would end the
  // process without one.
  static void watchDisplay(GdkDisplayManager*, GdkDisplay* display) {
    if (display && GDK_IS_X11_DISPLAY(display)) XSetIOErrorHandler(onDisplayLost);
  }

  static int onDisplayLost(Display*) {
    if (shown && shown->delegate) shown->delegate->pickerLost();
    // Only a session that does not end the run comes back here.
    ::_exit(1);
  }

  GtkWidget* makeWindow(const char* title, int width, int height) {
    GtkWidget* w = gtk_window_new();
    gtk_window_set_application(GTK_WINDOW(w), application);
    gtk_window_set_title(GTK_WINDOW(w), title);
    gtk_window_set_default_size(GTK_WINDOW(w), width, height);
    // Hidden, never destroyed, so that the picker can be hidden and the session carry on.
    gtk_window_set_hide_on_close(GTK_WINDOW(w), TRUE);
    return w;
  }

  GtkWidget* button(const char* label, GCallback clicked) {
    GtkWidget* b = gtk_button_new_with_label(label);
    g_signal_connect(b, "clicked", clicked, this);
    return b;
  }

  // A row along the top or bottom edge: a label taking the spare width, then what is appended.
  static GtkWidget* bar(GtkWidget*& label, const char* text) {
    GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
    gtk_widget_set_margin_start(row, 12);
    gtk_widget_set_margin_end(row, 12);
    gtk_widget_set_margin_top(row, 8);
    gtk_widget_set_margin_bottom(row, 8);
    label = gtk_label_new(text);
    gtk_widget_set_hexpand(label, TRUE);
    gtk_label_set_xalign(GTK_LABEL(label), 0);
    gtk_box_append(GTK_BOX(row), label);
    return row;
  }

  GtkWidget* buildContent() {
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);

    GtkWidget* top = bar(status, "Looking for photographs and videos…");
    gtk_box_append(GTK_BOX(top), button("Browse…", G_CALLBACK(onBrowse)));
    gtk_box_append(GTK_BOX(box), top);

    auto* factory = gtk_signal_list_item_factory_new();
    g_signal_connect(factory, "setup", G_CALLBACK(onSetup), this);
    g_signal_connect(factory, "bind", G_CALLBACK(onBind), this);
    g_signal_connect(factory, "unbind", G_CALLBACK(onUnbind), this);
    auto* model = gtk_no_selection_new(G_LIST_MODEL(list));
    GtkWidget* grid = gtk_grid_view_new(GTK_SELECTION_MODEL(model), factory);
    gtk_grid_view_set_max_columns(GTK_GRID_VIEW(grid), 12);
    gtk_accessible_update_property(GTK_ACCESSIBLE(grid), GTK_ACCESSIBLE_PROPERTY_LABEL,
                                   "Photographs and videos", -1);
    GtkWidget* scroller = gtk_scrolled_window_new();
    gtk_scrolled_window_set_child(GTK_SCROLLED_WINDOW(scroller), grid);
    gtk_widget_set_vexpand(scroller, TRUE);
    gtk_box_append(GTK_BOX(box), scroller);

    GtkWidget* bottom = bar(count, "");
    gtk_box_append(GTK_BOX(bottom), button("Cancel", G_CALLBACK(onCancel)));
    add = button("Add", G_CALLBACK(onAdd));
    gtk_widget_add_css_class(add, "suggested-action");
    gtk_box_append(GTK_BOX(bottom), add);
    gtk_box_append(GTK_BOX(box), bottom);

    // Escape cancels, as in the desktop's own dialogs.
    auto* keys = gtk_shortcut_controller_new();
    gtk_shortcut_controller_add_shortcut(
        GTK_SHORTCUT_CONTROLLER(keys),
        gtk_shortcut_new(gtk_keyval_trigger_new(GDK_KEY_Escape, GdkModifierType(0)),
                         gtk_callback_action_new(
                             [](GtkWidget*, GVariant*, gpointer self) -> gboolean {
                               static_cast<GtkPicker*>(self)->answer(false);
                               return TRUE;
                             },
                             this, nullptr)));
    gtk_widget_add_controller(box, keys);
    showCount();
    return box;
  }

  // ---- listing --------------------------------------------------------------------------

  void startListing() {
    LibraryKinds kinds = config.filter == PickerFilter::images   ? LibraryKinds::images
                         : config.filter == PickerFilter::videos ? LibraryKinds::videos
                                                                 : LibraryKinds::both;
    std::vector<std::string> roots = libraryFolders();
    std::thread([this, kinds, roots] {
      // Typing the rest of a large library must not hold up the thumbnails of the tiles in view
      // on two cores: this thread yields to them (a thread's own nice value on Linux).
      ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 10);
      std::size_t total = 0;
      listLibrary(roots, kinds, recordings, [&](std::vector<LibraryItem> batch) {
        total += batch.size();
        onMain([this, batch = std::move(batch)]() mutable { append(std::move(batch)); });
      });
      onMain([this, total] {
        listingDone = true;
        gtk_label_set_text(GTK_LABEL(status),
                           total == 0 ? "There are no photographs or videos in Pictures or Videos."
                                      : "Photographs and videos, newest first");
        report();
      });
    }).detach();
  }

  void append(std::vector<LibraryItem> batch) {
    std::vector<std::string> names;
    names.reserve(batch.size());
    for (auto& item : batch) {
      names.push_back(std::to_string(tiles.size()));
      tiles.push_back(Tile{std::move(item)});
    }
    std::vector<const char*> raw;
    for (auto& n : names)
      raw.push_back(n.c_str());
    raw.push_back(nullptr);
    gtk_string_list_splice(list, g_list_model_get_n_items(G_LIST_MODEL(list)), 0, raw.data());
    report();
  }

  // ---- tiles ----------------------------------------------------------------------------

  // A tile is a toggle button with the picture, under its caption and badge. Those two lie
  // over the button rather than inside it, so that screen readers (and plenk-hands, which leaves
  // out a button's own parts) read them as texts over the tile. GTK 4.8 tells a toggle button as
  // a plain button that is "pressed"; a check box says chosen or not in its own terms.
  static void onSetup(GtkSignalListItemFactory*, GtkListItem* listItem, GtkPicker*) {
    GtkWidget* tile = GTK_WIDGET(g_object_new(GTK_TYPE_TOGGLE_BUTTON, "accessible-role",
                                              GTK_ACCESSIBLE_ROLE_CHECKBOX, nullptr));
    gtk_widget_add_css_class(tile, "plenk-tile");
    gtk_widget_add_css_class(tile, "flat");
    GtkWidget* picture = gtk_picture_new();
    gtk_widget_set_size_request(picture, TILE_EDGE, TILE_EDGE);
    gtk_picture_set_can_shrink(GTK_PICTURE(picture), TRUE);
    gtk_button_set_child(GTK_BUTTON(tile), picture);
    GtkWidget* overlay = gtk_overlay_new();
    gtk_overlay_set_child(GTK_OVERLAY(overlay), tile);
    GtkWidget* caption = gtk_label_new("");
    gtk_widget_add_css_class(caption, "plenk-caption");
    gtk_widget_set_halign(caption, GTK_ALIGN_START);
    gtk_widget_set_valign(caption, GTK_ALIGN_END);
    GtkWidget* badge = gtk_label_new("");
    gtk_widget_add_css_class(badge, "plenk-badge");
    gtk_widget_set_halign(badge, GTK_ALIGN_END);
    gtk_widget_set_valign(badge, GTK_ALIGN_START);
    for (GtkWidget* over : {caption, badge}) {
      // Clicks go through to the tile.
      gtk_widget_set_can_target(over, FALSE);
      gtk_overlay_add_overlay(GTK_OVERLAY(overlay), over);
    }
    g_object_set_data(G_OBJECT(tile), "picture", picture);
    g_object_set_data(G_OBJECT(tile), "caption", caption);
    g_object_set_data(G_OBJECT(tile), "badge", badge);
    g_object_set_data(G_OBJECT(overlay), "tile", tile);
    gtk_list_item_set_child(listItem, overlay);
    gtk_list_item_set_activatable(listItem, FALSE);
  }

  static GtkWidget* tileOf(GtkListItem* listItem) {
    return GTK_WIDGET(g_object_get_data(G_OBJECT(gtk_list_item_get_child(listItem)), "tile"));
  }

  static std::size_t indexOf(GtkListItem* listItem) {
    auto* obj = GTK_STRING_OBJECT(gtk_list_item_get_item(listItem));
    return std::strtoull(gtk_string_object_get_string(obj), nullptr, 10);
  }

  static void onBind(GtkSignalListItemFactory*, GtkListItem* listItem, GtkPicker* self) {
    std::size_t index = indexOf(listItem);
    GtkWidget* widget = tileOf(listItem);
    Tile& tile = self->tiles[index];
    tile.widget = widget;
    g_object_set_data(G_OBJECT(widget), "index", GSIZE_TO_POINTER(index + 1));
    // Connected once per bind and removed at unbind, so a reused widget reports its new item.
    g_signal_connect(widget, "toggled", G_CALLBACK(onToggled), self);
    self->onScreen.insert(index);
    self->draw(index);
    // Wanted before asked, so that no worker drops the request in between.
    self->want(index, true);
    self->askIfNeeded(index);
    self->report();
  }

  static void onUnbind(GtkSignalListItemFactory*, GtkListItem* listItem, GtkPicker* self) {
    std::size_t index = indexOf(listItem);
    GtkWidget* widget = tileOf(listItem);
    g_signal_handlers_disconnect_by_func(widget, reinterpret_cast<gpointer>(onToggled), self);
    if (self->tiles[index].widget == widget) self->tiles[index].widget = nullptr;
    self->onScreen.erase(index);
    self->want(index, false);
  }

  // Brings a bound tile up to date: picture, caption, badge, state and what it reads as.
  void draw(std::size_t index) {
    Tile& tile = tiles[index];
    GtkWidget* w = tile.widget;
    if (!w) return;
    auto* picture = GTK_PICTURE(g_object_get_data(G_OBJECT(w), "picture"));
    auto* caption = GTK_LABEL(g_object_get_data(G_OBJECT(w), "caption"));
    auto* badge = GTK_LABEL(g_object_get_data(G_OBJECT(w), "badge"));
    gtk_picture_set_paintable(picture, tile.texture ? GDK_PAINTABLE(tile.texture) : nullptr);
    const char* fault = faultCaption(tile.item.fault);
    gtk_label_set_text(caption, fault ? fault : tile.item.video ? "Video" : "");
    gtk_widget_set_visible(GTK_WIDGET(caption), fault || tile.item.video);

    auto at = std::find(chosen.begin(), chosen.end(), index);
    const bool isChosen = at != chosen.end();
    std::string number = config.selection == PickerSelection::ordered
                             ? std::to_string(at - chosen.begin() + 1)
                             : std::string("✓");
    // The badge stays laid out and only turns clear when unchosen: one shown for the first time
    // has no place until the next frame, and a reader in between would see a chosen tile
    // without its number.
    gtk_label_set_text(badge, isChosen ? number.c_str() : "");
    gtk_widget_set_opacity(GTK_WIDGET(badge), isChosen ? 1.0 : 0.0);
    drawing = true;
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(w), isChosen);
    drawing = false;
    // At the limit nothing more can be chosen (one at a time moves the choice instead).
    const bool full = config.selectionLimit > 1 &&
                      static_cast<std::int64_t>(chosen.size()) >= config.selectionLimit;
    gtk_widget_set_sensitive(w, isChosen || !full);

    std::string description = tile.item.video ? "video" : "photograph";
    if (fault)
      description += std::string(", ") + fault;
    else if (!tile.texture)
      description += ", loading";
    if (isChosen) description += ", chosen " + number;
    // The tooltip sets the description too: it goes first, so the fuller description stays.
    gtk_widget_set_tooltip_text(w, tile.item.name.c_str());
    gtk_accessible_update_property(GTK_ACCESSIBLE(w), GTK_ACCESSIBLE_PROPERTY_LABEL,
                                   tile.item.name.c_str(), GTK_ACCESSIBLE_PROPERTY_DESCRIPTION,
                                   description.c_str(), -1);
    gtk_accessible_update_state(
        GTK_ACCESSIBLE(w), GTK_ACCESSIBLE_STATE_CHECKED,
        isChosen ? GTK_ACCESSIBLE_TRISTATE_TRUE : GTK_ACCESSIBLE_TRISTATE_FALSE, -1);
  }

  static void onToggled(GtkToggleButton* button, GtkPicker* self) {
    if (self->drawing) return;
    auto index = GPOINTER_TO_SIZE(g_object_get_data(G_OBJECT(button), "index"));
    if (index == 0) return;
    self->toggle(index - 1, gtk_toggle_button_get_active(button));
  }

  void toggle(std::size_t index, bool on) {
    auto at = std::find(chosen.begin(), chosen.end(), index);
    if (!on && at != chosen.end()) chosen.erase(at);
    if (on && at == chosen.end()) {
      if (config.selectionLimit <= 1) chosen.clear();
      if (static_cast<std::int64_t>(chosen.size()) < config.selectionLimit) chosen.push_back(index);
    }
    redraw();
  }

  void redraw() {
    for (std::size_t i : onScreen)
      draw(i);
    showCount();
  }

  void showCount() {
    std::string text =
        std::to_string(chosen.size()) + " of " + std::to_string(config.selectionLimit) + " chosen";
    if (static_cast<std::int64_t>(chosen.size()) >= config.selectionLimit &&
        config.selectionLimit > 1)
      text += ", no more can be added";
    gtk_label_set_text(GTK_LABEL(count), text.c_str());
    gtk_widget_set_sensitive(add, !chosen.empty());
  }

  void report() {
    if (!progress) return;
    PickerProgress p;
    p.listed = tiles.size();
    p.onScreen = onScreen.size();
    for (std::size_t i : onScreen)
      if (tiles[i].texture || tiles[i].item.fault != ItemFault::none) ++p.thumbnails;
    // The grid shows the library in listing order (browsed files aside), so index order is
    // top-down order.
    while (p.leading < tiles.size() &&
           (tiles[p.leading].texture || tiles[p.leading].item.fault != ItemFault::none))
      ++p.leading;
    progress(p);
  }

  // ---- thumbnails -----------------------------------------------------------------------

  struct Job {
    std::size_t index;
    LibraryItem item;
  };

  void startWorkers() {
    // Loading the picture libraries costs about half a second: it starts at once, not at the
    // first thumbnail.
    std::thread([this] {
      // A module that cannot load fails each thumbnail later, where it is shown as such.
      try {
        images.thumbnail("", 1);
      } catch (const std::exception&) {
      }
    }).detach();
    for (int i = 0; i < THUMBNAIL_THREADS; ++i)
      std::thread([this] { work(); }).detach();
  }

  void askIfNeeded(std::size_t index) {
    Tile& tile = tiles[index];
    if (tile.asked || tile.texture || tile.item.fault != ItemFault::none) return;
    tile.asked = true;
    ask(index);
  }

  void ask(std::size_t index) {
    std::lock_guard guard(jobsLock);
    jobs.push_back({index, tiles[index].item});
    jobsChanged.notify_one();
  }

  void want(std::size_t index, bool shown) {
    std::lock_guard guard(jobsLock);
    if (shown)
      wanted.insert(index);
    else
      wanted.erase(index);
  }

  // The topmost tile the grid holds goes first: the grid makes tiles for a few hundred items
  // around the view, top down, and those in view are the first of them. Requests for tiles that
  // left the grid before their turn are dropped; such a tile asks again when it comes back.
  void work() {
    for (;;) {
      Job job;
      std::vector<std::size_t> dropped;
      {
        std::unique_lock guard(jobsLock);
        jobsChanged.wait(guard, [&] { return !jobs.empty(); });
        auto best = jobs.end();
        for (auto it = jobs.begin(); it != jobs.end();) {
          if (!wanted.count(it->index)) {
            dropped.push_back(it->index);
            it = jobs.erase(it);
            continue;
          }
          ++it;
        }
        for (auto it = jobs.begin(); it != jobs.end(); ++it)
          if (best == jobs.end() || it->index < best->index) best = it;
        if (best != jobs.end()) {
          job = std::move(*best);
          jobs.erase(best);
        }
      }
      if (!dropped.empty())
        onMain([this, dropped] {
          for (std::size_t index : dropped) {
            tiles[index].asked = false;
            if (tiles[index].widget) askIfNeeded(index);
          }
        });
      if (job.item.path.empty()) continue;
      std::optional<Picture> picture;
      try {
        picture = thumbnailOf(job.item, images, recordings, TILE_EDGE);
      } catch (const std::exception&) {
        // A picture module that cannot load: the tile says it cannot be shown.
      }
      ItemFault fault = ItemFault::none;
      if (!picture)
        fault =
            ::access(job.item.path.c_str(), F_OK) == 0 ? ItemFault::undecodable : ItemFault::gone;
      onMain([this, index = job.index, picture = std::move(picture), fault] {
        Tile& tile = tiles[index];
        if (picture) {
          GBytes* bytes = g_bytes_new(picture->rgb.data(), picture->rgb.size());
          tile.texture = gdk_memory_texture_new(picture->width, picture->height, GDK_MEMORY_R8G8B8,
                                                bytes, static_cast<gsize>(picture->width) * 3);
          g_bytes_unref(bytes);
        } else {
          tile.item.fault = fault;
        }
        draw(index);
        report();
      });
    }
  }

  // ---- answers --------------------------------------------------------------------------

  std::shared_ptr<ItemProvider> provider(const LibraryItem& item) {
    std::vector<std::string> ids;
    if (item.type) ids.push_back(*item.type);
    return std::make_shared<FileItem>(types, item.path, std::move(ids));
  }

  // Answers the session once: the chosen items in the order chosen, or none.
  void answer(bool withChoice) {
    if (answered) return;
    answered = true;
    std::vector<std::shared_ptr<ItemProvider>> results;
    if (withChoice)
      for (std::size_t i : chosen)
        results.push_back(provider(tiles[i].item));
    delegate->pickerDidFinish(std::move(results));
  }

  static void onAdd(GtkButton*, GtkPicker* self) { self->answer(true); }
  static void onCancel(GtkButton*, GtkPicker* self) { self->answer(false); }

  static gboolean onWindowClose(GtkWindow*, GtkPicker* self) {
    if (!self->answered) self->delegate->pickerWindowWillClose();
    return FALSE;
  }
  static gboolean onPickerClose(GtkWindow*, GtkPicker* self) {
    self->answer(false);
    return FALSE;
  }

  // ---- Browse… --------------------------------------------------------------------------

  static void onBrowse(GtkButton*, GtkPicker* self) { self->browse(); }

  void browse() {
    const std::int64_t room =
        config.selectionLimit <= 1
            ? 1
            : config.selectionLimit - static_cast<std::int64_t>(chosen.size());
    if (room <= 0) return;
    // Through the desktop portal where one runs, GTK's own dialog otherwise.
    GtkFileChooserNative* chooser =
        gtk_file_chooser_native_new("Choose photographs and videos", GTK_WINDOW(pickerWindow),
                                    GTK_FILE_CHOOSER_ACTION_OPEN, "Add", "Cancel");
    gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(chooser), TRUE);
    gtk_file_chooser_set_select_multiple(GTK_FILE_CHOOSER(chooser), room > 1);
    GtkFileFilter* filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, config.filter == PickerFilter::images ? "Photographs"
                                     : config.filter == PickerFilter::videos
                                         ? "Videos"
                                         : "Photographs and videos");
    if (config.filter != PickerFilter::videos) gtk_file_filter_add_mime_type(filter, "image/*");
    if (config.filter != PickerFilter::images) gtk_file_filter_add_mime_type(filter, "video/*");
    gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(chooser), filter);
    g_signal_connect(chooser, "response", G_CALLBACK(onBrowsed), this);
    gtk_native_dialog_show(GTK_NATIVE_DIALOG(chooser));
  }

  static void onBrowsed(GtkNativeDialog* dialog, int response, GtkPicker* self) {
    if (response == GTK_RESPONSE_ACCEPT) {
      GListModel* files = gtk_file_chooser_get_files(GTK_FILE_CHOOSER(dialog));
      std::vector<std::string> paths;
      for (guint i = 0; i < g_list_model_get_n_items(files); ++i) {
        auto* file = G_FILE(g_list_model_get_item(files, i));
        if (char* path = g_file_get_path(file)) {
          paths.emplace_back(path);
          g_free(path);
        }
        g_object_unref(file);
      }
      g_object_unref(files);
      self->addBrowsed(paths);
    }
    g_object_unref(dialog);
  }

  // Files from outside the library join the front of the grid, chosen, as far as the kinds
  // and the limit allow.
  void addBrowsed(const std::vector<std::string>& paths) {
    LibraryKinds kinds = config.filter == PickerFilter::images   ? LibraryKinds::images
                         : config.filter == PickerFilter::videos ? LibraryKinds::videos
                                                                 : LibraryKinds::both;
    for (const auto& path : paths) {
      auto item = describeFile(path, kinds, recordings);
      if (!item) continue;
      if (config.selectionLimit <= 1) chosen.clear();
      if (static_cast<std::int64_t>(chosen.size()) >= config.selectionLimit) break;
      std::size_t index = tiles.size();
      tiles.push_back(Tile{std::move(*item)});
      chosen.push_back(index);
      std::string name = std::to_string(index);
      const char* raw[] = {name.c_str(), nullptr};
      gtk_string_list_splice(list, 0, 0, raw);
    }
    redraw();
  }

  Images& images;
  Recordings& recordings;
  std::function<void(const PickerProgress&)> progress;
  std::shared_ptr<FileTypes> types;

  PickerConfiguration config;
  PickerDelegate* delegate = nullptr;
  GtkApplication* application = nullptr;
  GtkWidget* pickerWindow = nullptr;
  GtkWidget* hostWindow = nullptr;
  GtkWidget* status = nullptr;
  GtkWidget* count = nullptr;
  GtkWidget* add = nullptr;
  GtkStringList* list = nullptr;

  // Main thread only. A deque keeps its elements in place as it grows.
  std::deque<Tile> tiles;
  std::unordered_set<std::size_t> onScreen;
  std::vector<std::size_t> chosen; // in the order chosen
  bool drawing = false;
  bool answered = false;
  bool listingDone = false;

  std::mutex jobsLock; // guards jobs and wanted
  std::condition_variable jobsChanged;
  std::vector<Job> jobs;
  std::unordered_set<std::size_t> wanted;
};

} // namespace

std::unique_ptr<Picker> gtkPicker(Images& images, Recordings& recordings,
                                  std::function<void(const PickerProgress&)> progress) {
  return std::make_unique<GtkPicker>(images, recordings, std::move(progress));
}

} // namespace plenk
