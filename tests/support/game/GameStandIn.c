/* A Win32 stand-in for the game, built with mingw-w64 as "Warcraft III.exe" and run under Wine:
 * one window titled "Warcraft III" that logs every key message it gets, so tests can check both
 * which process the desktop puts in front and which virtual keys a Windows game really receives.
 *
 * Usage: wine "Warcraft III.exe" [LOG-FILE]
 * Each WM_KEYDOWN, WM_KEYUP, WM_SYSKEYDOWN and WM_SYSKEYUP becomes one line, flushed at once:
 *   down 0x67 repeat      (an auto-repeat: the key was already down)
 *   down 0x67
 *   up 0x67
 * The line "ready" is written once the window is shown and has the focus. */
#include <stdio.h>
#include <windows.h>

static FILE *logFile;

static void logLine(const char *what, WPARAM virtualKey, LPARAM flags) {
    if (!logFile) return;
    /* Bit 30: the key was down before this message, which only an auto-repeat can say. */
    const int repeat = strcmp(what, "down") == 0 && (flags & (1L << 30)) != 0;
    fprintf(logFile, "%s 0x%02x%s\n", what, (unsigned)virtualKey, repeat ? " repeat" : "");
    fflush(logFile);
}

static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        logLine("down", wParam, lParam);
        return 0;
    case WM_KEYUP:
    case WM_SYSKEYUP:
        logLine("up", wParam, lParam);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
    (void)previous;
    (void)show;
    if (commandLine && commandLine[0]) logFile = fopen(commandLine, "a");

    WNDCLASSA windowClass = {0};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "GameStandIn";
    windowClass.hCursor = LoadCursor(NULL, IDC_ARROW);
    if (!RegisterClassA(&windowClass)) return 1;

    HWND window = CreateWindowA("GameStandIn", "Warcraft III", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                0, 0, 320, 240, NULL, NULL, instance, NULL);
    if (!window) return 1;
    ShowWindow(window, SW_SHOWNORMAL);
    SetForegroundWindow(window);
    SetFocus(window);
    if (logFile) {
        fputs("ready\n", logFile);
        fflush(logFile);
    }

    MSG message;
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    if (logFile) fclose(logFile);
    return 0;
}
