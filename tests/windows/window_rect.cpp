// window-rect TITLE: what Windows itself says of the top-level window titled TITLE, on one
// line: "outer WxH at X,Y; client WxH". Exits 1 when no such window is shown.
#include <cstdio>
#include <string>

#include <windows.h>

int wmain(int argc, wchar_t **argv)
{
    if (argc != 2)
        return 2;
    const HWND window = FindWindowW(nullptr, argv[1]);
    RECT outer{}, client{};
    if (!window || !IsWindowVisible(window) || !GetWindowRect(window, &outer) || !GetClientRect(window, &client))
        return 1;
    std::printf("outer %ldx%ld at %ld,%ld; client %ldx%ld\n", outer.right - outer.left, outer.bottom - outer.top,
                outer.left, outer.top, client.right, client.bottom);
    return 0;
}
