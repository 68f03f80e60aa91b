// Under Wayland every cursor of the theme is shown still, on its first picture.
//
// Qt 6.4's Wayland plugin replaces an animated cursor's frame callback from within
// that very callback and then reads the freed callback object. The program fills
// freed memory (M_PERTURB, see platform/FreedMemory.h), so that read takes the
// fill for a set flag and frees the object a second time: the program crashed
// whenever the wait cursor turned over its window while a frame came late (a lock,
// an encrypted open or save on a busy machine), losing unsaved changes.
//
// The plugin asks libwayland-cursor which picture to show and for how long; this
// definition answers in its place (the executable is searched before the
// libraries, and app/CMakeLists.txt exports it): always the first picture, with no
// time after which to show another, so the plugin never asks for a frame callback
// for its cursor. X11 cursors are drawn by the X server and are not affected.

#include <cstdint>

struct wl_cursor;

extern "C" __attribute__((visibility("default"))) int wl_cursor_frame_and_duration(
    wl_cursor* /*cursor*/, std::uint32_t /*time*/, std::uint32_t* duration) {
    if (duration) *duration = 0;
    return 0;
}
