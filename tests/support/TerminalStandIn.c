/* A plain X client for desktop tests, standing in for a terminal: one mapped window titled
 * "Terminal stand-in" at x = 400, owned by a process whose name is "TerminalStandIn".
 *
 * Usage: TerminalStandIn [--allow-user USER] READY-FILE
 * --allow-user lets USER's local clients connect to the display (a desktop running as another
 * user). Once the window is mapped, READY-FILE gets two lines, $DISPLAY and $XAUTHORITY, so the
 * test can reach a display its desktop chose. Ends when the display goes away or on SIGTERM. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <xcb/xcb.h>

static void setString(xcb_connection_t *c, xcb_window_t w, xcb_atom_t property, const char *text,
                      size_t length) {
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, property, XCB_ATOM_STRING, 8,
                        (uint32_t)length, text);
}

static int allowUser(xcb_connection_t *c, const char *user) {
    char address[64];
    const int length = snprintf(address, sizeof address, "localuser%c%s", 0, user);
    xcb_generic_error_t *error = xcb_request_check(
        c, xcb_change_hosts_checked(c, XCB_HOST_MODE_INSERT, XCB_FAMILY_SERVER_INTERPRETED,
                                    (uint16_t)length, (const uint8_t *)address));
    const int allowed = error == NULL;
    free(error);
    return allowed;
}

static int writeReady(const char *path) {
    const char *display = getenv("DISPLAY");
    const char *authority = getenv("XAUTHORITY");
    char temporary[4096];
    snprintf(temporary, sizeof temporary, "%s.part", path);
    FILE *file = fopen(temporary, "w");
    if (!file) return 0;
    fprintf(file, "%s\n%s\n", display ? display : "", authority ? authority : "");
    /* Renamed into place, so a reader never sees half of it. */
    return fclose(file) == 0 && rename(temporary, path) == 0;
}

int main(int argc, char **argv) {
    const char *user = NULL;
    if (argc == 4 && strcmp(argv[1], "--allow-user") == 0) user = argv[2];
    if (argc != 2 && !user) {
        fprintf(stderr, "usage: %s [--allow-user USER] READY-FILE\n", argv[0]);
        return 2;
    }
    xcb_connection_t *c = xcb_connect(NULL, NULL);
    if (xcb_connection_has_error(c)) return 1;
    if (user && !allowUser(c, user)) return 1;
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t window = xcb_generate_id(c);
    /* Painted, so that a compositor gets a buffer and shows the window at all. */
    const uint32_t background = screen->white_pixel;
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 400, 0, 200, 200, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXEL,
                      &background);
    static const char title[] = "Terminal stand-in";
    static const char windowClass[] = "terminal\0TerminalStandIn";
    setString(c, window, XCB_ATOM_WM_NAME, title, strlen(title));
    setString(c, window, XCB_ATOM_WM_CLASS, windowClass, sizeof windowClass);
    xcb_map_window(c, window);
    free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), NULL));
    if (!writeReady(argv[argc - 1])) return 1;
    xcb_generic_event_t *event;
    while ((event = xcb_wait_for_event(c)) != NULL) free(event);
    xcb_disconnect(c);
    return 0;
}
