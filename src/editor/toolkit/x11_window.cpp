#include "editor/toolkit/x11_window.h"

#include <cairo-xcb.h>
#include <cairo.h>
#include <xcb/xcb.h>
#include <xcb/xcb_cursor.h>
#include <xcb/xcb_keysyms.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <vector>

#include "editor/toolkit/desktop_modal.h"

namespace orvane::tk {

namespace {

constexpr std::uint8_t kLeftButton = 1;
// Wheel buttons: 4 up, 5 down, 6 left, 7 right; one notch is one unit.
constexpr std::uint8_t kWheelUp = 4, kWheelDown = 5, kWheelLeft = 6, kWheelRight = 7;
// Where the pointer is said to be once it has left the window, so that every
// hover area reports an exit.
constexpr Point kOutside{-1e6, -1e6};

std::uint32_t modifiersOf(std::uint16_t state) {
  std::uint32_t m = 0;
  if (state & XCB_MOD_MASK_SHIFT) m |= kShift;
  if (state & XCB_MOD_MASK_CONTROL) m |= kControl;
  if (state & XCB_MOD_MASK_1) m |= kOption;   // Alt
  if (state & XCB_MOD_MASK_4) m |= kCommand;  // Super
  return m;
}

// The virtual key numbers the views are written against, for the keysyms
// they handle; -1 for the rest.
int keyCodeOf(xcb_keysym_t sym) {
  switch (sym) {
    case 0xff51:  // Left
    case 0xff96:  // KP_Left
      return key::kLeftArrow;
    case 0xff53:  // Right
    case 0xff98:  // KP_Right
      return key::kRightArrow;
    case 0xff54:  // Down
    case 0xff99:  // KP_Down
      return key::kDownArrow;
    case 0xff52:  // Up
    case 0xff97:  // KP_Up
      return key::kUpArrow;
    case 0xff0d:  // Return
    case 0xff8d:  // KP_Enter
      return key::kReturn;
    case 0xff09:  // Tab
      return key::kTab;
    case 0x20:  // space
      return key::kSpace;
    case 0xff1b:  // Escape
      return key::kEscape;
    default:
      return -1;
  }
}

// Cursor names tried in order: the freedesktop theme's, the older theme
// names, then the core cursor font's, which every server has.
std::vector<const char*> cursorNames(Cursor c) {
  switch (c) {
    case Cursor::OpenHand:
      return {"grab", "openhand", "hand1"};
    case Cursor::ClosedHand:
      return {"grabbing", "closedhand", "fleur"};
    case Cursor::PointingHand:
      return {"pointer", "hand2"};
    case Cursor::Arrow:
      break;
  }
  return {"default", "left_ptr"};
}

xcb_visualtype_t* visualOf(const xcb_screen_t* screen, xcb_visualid_t id) {
  for (auto depths = xcb_screen_allowed_depths_iterator(screen); depths.rem;
       xcb_depth_next(&depths))
    for (auto v = xcb_depth_visuals_iterator(depths.data); v.rem; xcb_visualtype_next(&v))
      if (v.data->visual_id == id) return v.data;
  return nullptr;
}

}  // namespace

struct X11Window::Impl {
  explicit Impl(HostLoop& l) : loop(l) {}
  HostLoop& loop;
  xcb_connection_t* conn = nullptr;
  const xcb_screen_t* screen = nullptr;
  xcb_window_t window = XCB_NONE;
  xcb_window_t topLevel = XCB_NONE;
  xcb_visualtype_t* visual = nullptr;
  cairo_surface_t* surface = nullptr;
  xcb_key_symbols_t* keySymbols = nullptr;
  xcb_cursor_context_t* cursorContext = nullptr;
  std::map<Cursor, xcb_cursor_t> cursors;
  Cursor shownCursor = Cursor::Arrow;
  bool focused = false;
  bool watching = false;
  bool broken = false;
  std::vector<xcb_rectangle_t> damage;  // exposed, not yet copied again

  int pixelWidth(const Window& w) const {
    return std::max(1, static_cast<int>(std::lround(w.contentSize().width * w.scale())));
  }
  int pixelHeight(const Window& w) const {
    return std::max(1, static_cast<int>(std::lround(w.contentSize().height * w.scale())));
  }

  // Everything this object opened, in the reverse order of opening. Safe on
  // a half-built window.
  void close() {
    if (watching) loop.unwatchFd(xcb_get_file_descriptor(conn));
    watching = false;
    if (surface) {
      // Cairo keeps per-connection state in its device; it must let go of
      // the connection before the connection closes.
      cairo_device_t* device = cairo_device_reference(cairo_surface_get_device(surface));
      cairo_surface_destroy(surface);
      surface = nullptr;
      if (device) {
        cairo_device_finish(device);
        cairo_device_destroy(device);
      }
    }
    if (keySymbols) xcb_key_symbols_free(keySymbols);
    keySymbols = nullptr;
    if (conn) {
      for (const auto& [kind, id] : cursors) xcb_free_cursor(conn, id);
      cursors.clear();
      if (cursorContext) xcb_cursor_context_free(cursorContext);
      cursorContext = nullptr;
      if (window != XCB_NONE) xcb_destroy_window(conn, window);
      window = XCB_NONE;
      xcb_flush(conn);
      xcb_disconnect(conn);
      conn = nullptr;
    }
  }

  xcb_cursor_t cursorId(Cursor c) {
    if (auto it = cursors.find(c); it != cursors.end()) return it->second;
    xcb_cursor_t id = XCB_NONE;
    if (cursorContext)
      for (const char* name : cursorNames(c))
        if ((id = xcb_cursor_load_cursor(cursorContext, name)) != XCB_NONE) break;
    cursors[c] = id;
    return id;
  }

  // The ancestor of `w` that is a child of the root window.
  xcb_window_t topLevelOf(xcb_window_t w) const {
    for (int depth = 0; depth < 64; ++depth) {
      xcb_query_tree_reply_t* tree = xcb_query_tree_reply(conn, xcb_query_tree(conn, w), nullptr);
      if (!tree) return w;
      const xcb_window_t parent = tree->parent, root = tree->root;
      std::free(tree);
      if (parent == root || parent == XCB_NONE) return w;
      w = parent;
    }
    return w;
  }
};

X11Window::X11Window(Size contentSize, double scale, std::unique_ptr<Impl> impl)
    : Window(contentSize, scale), impl_(std::move(impl)) {}

std::unique_ptr<X11Window> X11Window::create(std::uint32_t parent, Size contentSize, double scale,
                                             HostLoop& loop, std::string* error) {
  auto fail = [&](std::unique_ptr<Impl>& x, const char* why) {
    if (error) *error = why;
    x->close();
    return nullptr;
  };
  auto x = std::make_unique<Impl>(loop);
  if (parent == XCB_NONE) return fail(x, "no parent window");
  x->conn = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(x->conn)) return fail(x, "cannot connect to the X display");

  // The parent's screen, found through its root.
  xcb_get_geometry_reply_t* geometry =
      xcb_get_geometry_reply(x->conn, xcb_get_geometry(x->conn, parent), nullptr);
  if (!geometry) return fail(x, "the parent window does not exist");
  const xcb_window_t root = geometry->root;
  std::free(geometry);
  for (auto it = xcb_setup_roots_iterator(xcb_get_setup(x->conn)); it.rem; xcb_screen_next(&it))
    if (it.data->root == root) x->screen = it.data;
  if (!x->screen) return fail(x, "the parent window's screen is unknown");
  x->visual = visualOf(x->screen, x->screen->root_visual);
  if (!x->visual) return fail(x, "the screen has no visual for its root");

  auto window = std::unique_ptr<X11Window>(new X11Window(contentSize, scale, std::move(x)));
  Impl& w = *window->impl_;
  const int width = w.pixelWidth(*window), height = w.pixelHeight(*window);
  w.window = xcb_generate_id(w.conn);
  // No background: every pixel is ours to paint, so the server clears
  // nothing and nothing flickers. The screen's own visual and colour map, so
  // the window does not depend on what the host's window uses.
  const std::uint32_t values[] = {XCB_BACK_PIXMAP_NONE, 0,
                                  XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_BUTTON_PRESS |
                                      XCB_EVENT_MASK_BUTTON_RELEASE |
                                      XCB_EVENT_MASK_POINTER_MOTION | XCB_EVENT_MASK_ENTER_WINDOW |
                                      XCB_EVENT_MASK_LEAVE_WINDOW | XCB_EVENT_MASK_KEY_PRESS |
                                      XCB_EVENT_MASK_FOCUS_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY,
                                  w.screen->default_colormap};
  xcb_generic_error_t* made = xcb_request_check(
      w.conn,
      xcb_create_window_checked(
          w.conn, w.screen->root_depth, w.window, parent, 0, 0, std::uint16_t(width),
          std::uint16_t(height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, w.screen->root_visual,
          XCB_CW_BACK_PIXMAP | XCB_CW_BORDER_PIXEL | XCB_CW_EVENT_MASK | XCB_CW_COLORMAP, values));
  if (made) {
    std::free(made);
    w.window = XCB_NONE;
    if (error) *error = "the X server refused to create the window";
    return nullptr;  // the destructor closes what is open
  }
  w.topLevel = w.topLevelOf(w.window);

  // Embedders that speak XEmbed read this to learn the protocol version and
  // that the window wants to be mapped.
  xcb_intern_atom_reply_t* xembed =
      xcb_intern_atom_reply(w.conn, xcb_intern_atom(w.conn, 0, 12, "_XEMBED_INFO"), nullptr);
  if (xembed) {
    const std::uint32_t info[] = {0, 1};  // version 0, XEMBED_MAPPED
    xcb_change_property(w.conn, XCB_PROP_MODE_REPLACE, w.window, xembed->atom, xembed->atom, 32, 2,
                        info);
    std::free(xembed);
  }

  w.surface = cairo_xcb_surface_create(w.conn, w.window, w.visual, width, height);
  if (cairo_surface_status(w.surface) != CAIRO_STATUS_SUCCESS) {
    if (error) *error = "cannot draw into the window";
    return nullptr;
  }
  w.keySymbols = xcb_key_symbols_alloc(w.conn);
  if (xcb_cursor_context_new(w.conn, const_cast<xcb_screen_t*>(w.screen), &w.cursorContext) < 0)
    w.cursorContext = nullptr;  // the arrow it is, then

  X11Window* self = window.get();
  if (!loop.watchFd(xcb_get_file_descriptor(w.conn), [self] { self->processEvents(); })) {
    if (error) *error = "the host does not watch the display connection";
    return nullptr;
  }
  w.watching = true;
  window->setModal(std::make_shared<DesktopModal>(*window, loop, w.topLevel));
  xcb_map_window(w.conn, w.window);
  xcb_flush(w.conn);
  return window;
}

X11Window::~X11Window() {
  // The dialogs go first: a running file chooser still uses the host loop.
  setModal(nullptr);
  if (impl_) impl_->close();
}

std::uint32_t X11Window::windowId() const {
  return impl_->window;
}

std::uint32_t X11Window::topLevelId() const {
  return impl_->topLevel;
}

Cursor X11Window::shownCursor() const {
  return impl_->shownCursor;
}

bool X11Window::hasKeyboardFocus() const {
  return impl_->focused;
}

bool X11Window::isConnected() const {
  return impl_->conn && !impl_->broken;
}

void X11Window::processEvents() {
  Impl& w = *impl_;
  if (!w.conn || w.broken) return;
  while (xcb_generic_event_t* e = xcb_poll_for_event(w.conn)) {
    handle(e);
    std::free(e);
  }
  if (xcb_connection_has_error(w.conn)) {
    // The display went away: nothing more will come, and the host must stop
    // calling us for a descriptor that stays readable.
    w.broken = true;
    if (w.watching) w.loop.unwatchFd(xcb_get_file_descriptor(w.conn));
    w.watching = false;
    endMouseTracking();
    setVisible(false);
    return;
  }
  flush();
}

void X11Window::flush() {
  Impl& w = *impl_;
  if (!w.conn || w.broken) return;
  displayIfNeeded();
  const Cursor c = currentCursor();
  if (c != w.shownCursor) {
    const std::uint32_t id = w.cursorId(c);
    xcb_change_window_attributes(w.conn, w.window, XCB_CW_CURSOR, &id);
    w.shownCursor = c;
  }
  xcb_flush(w.conn);
}

void X11Window::rescale(double scale) {
  Impl& w = *impl_;
  if (!(scale > 0) || scale == this->scale() || !w.conn) return;
  setScale(scale);
  const std::uint32_t size[] = {std::uint32_t(w.pixelWidth(*this)),
                                std::uint32_t(w.pixelHeight(*this))};
  xcb_configure_window(w.conn, w.window, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, size);
  cairo_xcb_surface_set_size(w.surface, int(size[0]), int(size[1]));
  w.damage.clear();
  flush();
}

void X11Window::present() {
  Impl& w = *impl_;
  if (!w.surface || w.broken) return;
  cairo_t* cr = cairo_create(w.surface);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_surface(cr, image().surface(), 0, 0);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_flush(w.surface);
  w.damage.clear();  // everything was just copied
}

void X11Window::showDamage() {
  Impl& w = *impl_;
  if (w.damage.empty()) return;
  if (needsDisplay()) {
    display();  // copies everything
    return;
  }
  cairo_t* cr = cairo_create(w.surface);
  for (const xcb_rectangle_t& r : w.damage) cairo_rectangle(cr, r.x, r.y, r.width, r.height);
  cairo_clip(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_surface(cr, image().surface(), 0, 0);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_flush(w.surface);
  w.damage.clear();
}

void X11Window::deliverPointer(EventType type, int x, int y, std::uint16_t state) {
  const Point p{x / scale(), y / scale()};
  sendEvent(Event::mouse(type, p, modifiersOf(state)));
}

void X11Window::pressButton(const void* event) {
  const auto* e = static_cast<const xcb_button_press_event_t*>(event);
  const Point p{e->event_x / scale(), e->event_y / scale()};
  const std::uint32_t mods = modifiersOf(e->state);
  switch (e->detail) {
    case kLeftButton: {
      // A press on a control that takes keyboard focus asks the server for
      // the keys too, so arrows reach it as they would in a window of its own.
      View* hit = contentView() ? contentView()->hitTest(p) : nullptr;
      if (hit && hit->acceptsFirstResponder() && !impl_->focused)
        xcb_set_input_focus(impl_->conn, XCB_INPUT_FOCUS_PARENT, impl_->window, e->time);
      sendEvent(Event::mouse(EventType::LeftMouseDown, p, mods));
      break;
    }
    case kWheelUp:
    case kWheelDown:
      sendEvent(Event::scroll(p, e->detail == kWheelUp ? 1.0 : -1.0, mods));
      break;
    case kWheelLeft:
    case kWheelRight:
      sendEvent(Event::scroll(p, 0, mods, e->detail == kWheelLeft ? 1.0 : -1.0));
      break;
    default:
      break;  // other buttons mean nothing here
  }
}

void X11Window::handle(const void* event) {
  const auto* generic = static_cast<const xcb_generic_event_t*>(event);
  Impl& w = *impl_;
  switch (generic->response_type & 0x7f) {
    case XCB_EXPOSE: {
      const auto* e = static_cast<const xcb_expose_event_t*>(event);
      w.damage.push_back({std::int16_t(e->x), std::int16_t(e->y), e->width, e->height});
      if (e->count == 0) showDamage();
      break;
    }
    case XCB_BUTTON_PRESS:
      pressButton(event);
      break;
    case XCB_BUTTON_RELEASE: {
      const auto* e = static_cast<const xcb_button_release_event_t*>(event);
      if (e->detail == kLeftButton && isTrackingMouse())
        deliverPointer(EventType::LeftMouseUp, e->event_x, e->event_y, e->state);
      break;
    }
    case XCB_MOTION_NOTIFY: {
      const auto* e = static_cast<const xcb_motion_notify_event_t*>(event);
      deliverPointer(isTrackingMouse() ? EventType::LeftMouseDragged : EventType::MouseMoved,
                     e->event_x, e->event_y, e->state);
      break;
    }
    case XCB_ENTER_NOTIFY: {
      const auto* e = static_cast<const xcb_enter_notify_event_t*>(event);
      if (!isTrackingMouse())
        deliverPointer(EventType::MouseMoved, e->event_x, e->event_y, e->state);
      break;
    }
    case XCB_LEAVE_NOTIFY: {
      const auto* e = static_cast<const xcb_leave_notify_event_t*>(event);
      // During a drag the press keeps the pointer ours even outside; only
      // another program's grab takes it away, and then no release will come.
      if (isTrackingMouse() && e->mode == XCB_NOTIFY_MODE_GRAB) endMouseTracking();
      if (!isTrackingMouse()) sendEvent(Event::mouse(EventType::MouseMoved, kOutside));
      break;
    }
    case XCB_KEY_PRESS: {
      const auto* e = static_cast<const xcb_key_press_event_t*>(event);
      const xcb_keysym_t sym =
          w.keySymbols ? xcb_key_symbols_get_keysym(w.keySymbols, e->detail, 0) : 0;
      const int code = keyCodeOf(sym);
      if (code >= 0) sendEvent(Event::keyDown(code, modifiersOf(e->state)));
      break;
    }
    case XCB_FOCUS_IN:
    case XCB_FOCUS_OUT: {
      const auto* e = static_cast<const xcb_focus_in_event_t*>(event);
      if (e->detail == XCB_NOTIFY_DETAIL_POINTER) break;  // focus stays where it was
      w.focused = (generic->response_type & 0x7f) == XCB_FOCUS_IN;
      break;
    }
    case XCB_MAP_NOTIFY:
      setVisible(true);
      break;
    case XCB_UNMAP_NOTIFY:
      endMouseTracking();
      setVisible(false);
      break;
    case XCB_MAPPING_NOTIFY: {
      auto* e = static_cast<xcb_mapping_notify_event_t*>(const_cast<void*>(event));
      if (w.keySymbols) xcb_refresh_keyboard_mapping(w.keySymbols, e);
      break;
    }
    default:
      break;
  }
}

}  // namespace orvane::tk
