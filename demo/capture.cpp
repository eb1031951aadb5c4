// Screen capture into a BMP file. The screen DC reads back what the compositor shows, so
// layered windows appear blended with what lies behind them.
#include "demo.h"

#include <stdio.h>

#include <vector>

namespace demo {

bool captureScreen(const std::string& path, const RECT& area, bool withPointer) {
    int w = area.right - area.left, h = area.bottom - area.top;
    if (w <= 0 || h <= 0) return false;

    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = w;
    info.biHeight = h;              // bottom-up, as BMP files store rows
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    int stride = (w * 3 + 3) & ~3;
    info.biSizeImage = static_cast<DWORD>(stride * h);

    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS,
                                      &bits, nullptr, 0);
    bool ok = false;
    if (bitmap && bits) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        ok = BitBlt(memory, 0, 0, w, h, screen, area.left, area.top, SRCCOPY) != 0;
        POINT at;
        if (ok && withPointer && GetCursorPos(&at))
            DrawIconEx(memory, at.x - area.left, at.y - area.top, LoadCursorA(nullptr, IDC_ARROW), 0, 0,
                       0, nullptr, DI_NORMAL);
        GdiFlush();
        SelectObject(memory, old);
    }
    if (ok) {
        BITMAPFILEHEADER file = {};
        file.bfType = 0x4D42;   // "BM"
        file.bfOffBits = sizeof file + sizeof info;
        file.bfSize = file.bfOffBits + info.biSizeImage;
        FILE* out = fopen(path.c_str(), "wb");
        ok = out && fwrite(&file, sizeof file, 1, out) == 1 && fwrite(&info, sizeof info, 1, out) == 1 &&
             fwrite(bits, info.biSizeImage, 1, out) == 1;
        if (out && fclose(out) != 0) ok = false;
    }
    if (bitmap) DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return ok;
}

}  // namespace demo
