#define _GNU_SOURCE
/* Keeps a keyboard on a headless wlroots compositor's seat until killed: GTK 3 activates its windows only
 * on a seat that has one. Exits at once where the compositor offers no virtual keyboards. */
#include "virtual-keyboard-unstable-v1-client-protocol.h"

#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

static struct wl_seat *seat;
static struct zwp_virtual_keyboard_manager_v1 *manager;

static void global(void *data, struct wl_registry *registry, uint32_t name, const char *interface, uint32_t version)
{
    (void)data;
    (void)version;
    if (strcmp(interface, wl_seat_interface.name) == 0 && !seat)
        seat = wl_registry_bind(registry, name, &wl_seat_interface, 1);
    else if (strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0)
        manager = wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1);
}

static void globalRemove(void *data, struct wl_registry *registry, uint32_t name)
{
    (void)data;
    (void)registry;
    (void)name;
}

int main(void)
{
    static const char keymap[] = "xkb_keymap { xkb_keycodes { include \"evdev\" }; xkb_types { include \"complete\" };"
                                 " xkb_compatibility { include \"complete\" }; xkb_symbols { include \"pc+us\" }; };";
    static const struct wl_registry_listener listener = {global, globalRemove};
    struct wl_display *display = wl_display_connect(NULL);
    if (!display)
        return 1;
    wl_registry_add_listener(wl_display_get_registry(display), &listener, NULL);
    wl_display_roundtrip(display);
    if (!seat || !manager) {
        fprintf(stderr, "no virtual keyboard on this compositor\n");
        return 0;
    }
    struct zwp_virtual_keyboard_v1 *keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(manager, seat);
    int fd = memfd_create("keymap", MFD_CLOEXEC);
    if (fd < 0 || write(fd, keymap, sizeof keymap) != (ssize_t)sizeof keymap)
        return 1;
    zwp_virtual_keyboard_v1_keymap(keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, sizeof keymap);
    close(fd);
    while (wl_display_dispatch(display) != -1) {
    }
    return 0;
}
