#include "host_window.h"

#include <cairo.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

#include "vsthost/module.h"

namespace orvane::host {

namespace {

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
  xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(
      c, xcb_intern_atom(c, 0, std::uint16_t(std::strlen(name)), name), nullptr);
  if (!r) return XCB_NONE;
  const xcb_atom_t a = r->atom;
  std::free(r);
  return a;
}

// ICCCM size hints: program-specified minimum and maximum size (equal, so
// window managers offer no resizing of a fixed editor).
void fixSize(xcb_connection_t* c, xcb_window_t w, int width, int height) {
  std::uint32_t hints[18] = {};
  hints[0] = (1u << 4) | (1u << 5);  // PMinSize | PMaxSize
  hints[5] = std::uint32_t(width);
  hints[6] = std::uint32_t(height);
  hints[7] = std::uint32_t(width);
  hints[8] = std::uint32_t(height);
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS,
                      32, 18, hints);
}

cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(closure);
  out->insert(out->end(), data, data + length);
  return CAIRO_STATUS_SUCCESS;
}

}  // namespace

struct HostWindow::Impl {
  xcb_connection_t* conn = nullptr;
  xcb_screen_t* screen = nullptr;
  xcb_window_t window = XCB_NONE;
  xcb_atom_t protocols = XCB_NONE;
  xcb_atom_t deleteWindow = XCB_NONE;
};

std::vector<std::uint8_t> Screenshot::png() const {
  std::vector<std::uint8_t> out;
  if (width <= 0 || height <= 0) return out;
  std::vector<std::uint32_t> copy = pixels;
  cairo_surface_t* s = cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(copy.data()), CAIRO_FORMAT_ARGB32, width, height, width * 4);
  if (cairo_surface_write_to_png_stream(s, appendBytes, &out) != CAIRO_STATUS_SUCCESS) out.clear();
  cairo_surface_destroy(s);
  return out;
}

HostWindow::HostWindow(int width, int height, const std::string& title, int x, int y)
    : impl_(std::make_unique<Impl>()) {
  Impl& w = *impl_;
  int screenNumber = 0;
  w.conn = xcb_connect(nullptr, &screenNumber);
  if (xcb_connection_has_error(w.conn)) {
    xcb_disconnect(w.conn);
    throw Error("cannot open the X display (is DISPLAY set?)");
  }
  auto it = xcb_setup_roots_iterator(xcb_get_setup(w.conn));
  for (int i = 0; i < screenNumber && it.rem; ++i) xcb_screen_next(&it);
  w.screen = it.data;
  w.window = xcb_generate_id(w.conn);
  const std::uint32_t values[] = {w.screen->black_pixel, XCB_EVENT_MASK_STRUCTURE_NOTIFY};
  xcb_create_window(w.conn, XCB_COPY_FROM_PARENT, w.window, w.screen->root, std::int16_t(x),
                    std::int16_t(y), std::uint16_t(width), std::uint16_t(height), 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, w.screen->root_visual,
                    XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
  xcb_change_property(w.conn, XCB_PROP_MODE_REPLACE, w.window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                      std::uint32_t(title.size()), title.data());
  static const char kClass[] = "orvane-host\0orvane-host";
  xcb_change_property(w.conn, XCB_PROP_MODE_REPLACE, w.window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING,
                      8, sizeof kClass, kClass);
  w.protocols = atom(w.conn, "WM_PROTOCOLS");
  w.deleteWindow = atom(w.conn, "WM_DELETE_WINDOW");
  xcb_change_property(w.conn, XCB_PROP_MODE_REPLACE, w.window, w.protocols, XCB_ATOM_ATOM, 32, 1,
                      &w.deleteWindow);
  fixSize(w.conn, w.window, width, height);
  xcb_map_window(w.conn, w.window);
  xcb_flush(w.conn);
}

HostWindow::~HostWindow() {
  xcb_destroy_window(impl_->conn, impl_->window);
  xcb_flush(impl_->conn);
  xcb_disconnect(impl_->conn);
}

std::uint32_t HostWindow::id() const {
  return impl_->window;
}

int HostWindow::connectionFd() const {
  return xcb_get_file_descriptor(impl_->conn);
}

void HostWindow::processEvents() {
  while (xcb_generic_event_t* e = xcb_poll_for_event(impl_->conn)) {
    if ((e->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
      const auto* m = reinterpret_cast<xcb_client_message_event_t*>(e);
      if (m->type == impl_->protocols && m->data.data32[0] == impl_->deleteWindow)
        closeRequested_ = true;
    }
    std::free(e);
  }
  if (xcb_connection_has_error(impl_->conn)) closeRequested_ = true;  // the display went away
}

void HostWindow::resize(int width, int height) {
  fixSize(impl_->conn, impl_->window, width, height);
  const std::uint32_t size[] = {std::uint32_t(width), std::uint32_t(height)};
  xcb_configure_window(impl_->conn, impl_->window,
                       XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, size);
  xcb_flush(impl_->conn);
}

std::vector<std::uint32_t> HostWindow::children() const {
  std::vector<std::uint32_t> out;
  xcb_query_tree_reply_t* tree =
      xcb_query_tree_reply(impl_->conn, xcb_query_tree(impl_->conn, impl_->window), nullptr);
  if (!tree) return out;
  const xcb_window_t* c = xcb_query_tree_children(tree);
  out.assign(c, c + xcb_query_tree_children_length(tree));
  std::free(tree);
  return out;
}

void HostWindow::sendClick(std::uint32_t window, int x, int y) {
  for (std::uint8_t type : {XCB_BUTTON_PRESS, XCB_BUTTON_RELEASE}) {
    xcb_button_press_event_t e{};
    e.response_type = type;
    e.detail = 1;
    e.root = impl_->screen->root;
    e.event = window;
    e.child = XCB_NONE;
    e.event_x = std::int16_t(x);
    e.event_y = std::int16_t(y);
    e.same_screen = 1;
    e.state = type == XCB_BUTTON_RELEASE ? XCB_BUTTON_MASK_1 : 0;
    xcb_send_event(
        impl_->conn, 0, window,
        type == XCB_BUTTON_PRESS ? XCB_EVENT_MASK_BUTTON_PRESS : XCB_EVENT_MASK_BUTTON_RELEASE,
        reinterpret_cast<const char*>(&e));
  }
  xcb_flush(impl_->conn);
}

Screenshot HostWindow::screenshot() const {
  Screenshot shot;
  xcb_get_geometry_reply_t* g =
      xcb_get_geometry_reply(impl_->conn, xcb_get_geometry(impl_->conn, impl_->window), nullptr);
  if (!g) return shot;
  const int width = g->width, height = g->height;
  std::free(g);
  xcb_get_image_reply_t* image =
      xcb_get_image_reply(impl_->conn,
                          xcb_get_image(impl_->conn, XCB_IMAGE_FORMAT_Z_PIXMAP, impl_->window, 0, 0,
                                        std::uint16_t(width), std::uint16_t(height), ~0u),
                          nullptr);
  if (!image) return shot;
  // Depth 24 in 32-bit units, blue in the lowest byte on this machine: the
  // screen's words with the unused top byte made opaque.
  const int length = xcb_get_image_data_length(image);
  if (image->depth == 24 && length == width * height * 4) {
    shot.width = width;
    shot.height = height;
    shot.pixels.resize(std::size_t(width) * std::size_t(height));
    std::memcpy(shot.pixels.data(), xcb_get_image_data(image), std::size_t(length));
    for (std::uint32_t& p : shot.pixels) p |= 0xff000000u;
  }
  std::free(image);
  return shot;
}

}  // namespace orvane::host
