// The smallest evdev-to-uinput forwarder: grabs one device and re-emits whatever it reads
// on a virtual device that has every key. The peer the tap's added latency is measured
// against (KernelLatencyBench).
#include <fcntl.h>
#include <linux/uinput.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <unistd.h>

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s /dev/input/eventN\n", argv[0]);
        return 2;
    }
    int in = open(argv[1], O_RDONLY), out = open("/dev/uinput", O_WRONLY);
    if (in < 0 || out < 0 || ioctl(in, EVIOCGRAB, 1) < 0) return perror("forwarder"), 1;
    ioctl(out, UI_SET_EVBIT, EV_KEY);
    for (int code = 1; code < KEY_MAX; ++code) ioctl(out, UI_SET_KEYBIT, code);
    struct uinput_setup setup = {.id = {.bustype = BUS_VIRTUAL}, .name = "minimal forwarder"};
    if (ioctl(out, UI_DEV_SETUP, &setup) < 0 || ioctl(out, UI_DEV_CREATE) < 0)
        return perror("forwarder"), 1;
    struct input_event events[64];
    ssize_t got;
    while ((got = read(in, events, sizeof events)) > 0)
        if (write(out, events, (size_t)got) != got) return 1;
    return 0;
}
