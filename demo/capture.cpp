// Screen capture into BMP files, one shot or a recording of frames. The screen DC reads back
// what the compositor shows, so layered windows appear blended with what lies behind them.
#include "demo.h"

#include <stdio.h>

#include <vector>

namespace demo {

namespace {

int widthOf(const RECT& r) { return r.right - r.left; }
int heightOf(const RECT& r) { return r.bottom - r.top; }
int strideOf(int width) { return (width * 3 + 3) & ~3; }

// A 24-bit bottom-up DIB of the given size, as BMP files store it.
BITMAPINFOHEADER headerFor(int w, int h) {
    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = w;
    info.biHeight = h;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    info.biSizeImage = static_cast<DWORD>(strideOf(w) * h);
    return info;
}

// Copies the area of the screen into bits, bottom-up 24-bit rows as BMP files store them. The
// screen holds no mouse pointer; with withPointer an arrow is drawn where the pointer is.
bool grab(const RECT& area, bool withPointer, std::vector<BYTE>& bits) {
    int w = widthOf(area), h = heightOf(area);
    if (w <= 0 || h <= 0) return false;
    BITMAPINFOHEADER info = headerFor(w, h);

    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* pixels = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS,
                                      &pixels, nullptr, 0);
    bool ok = false;
    if (bitmap && pixels) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        ok = BitBlt(memory, 0, 0, w, h, screen, area.left, area.top, SRCCOPY) != 0;
        POINT at;
        if (ok && withPointer && GetCursorPos(&at))
            DrawIconEx(memory, at.x - area.left, at.y - area.top, LoadCursorA(nullptr, IDC_ARROW),
                       0, 0, 0, nullptr, DI_NORMAL);
        GdiFlush();
        SelectObject(memory, old);
        if (ok) {
            const BYTE* first = static_cast<const BYTE*>(pixels);
            bits.assign(first, first + info.biSizeImage);
        }
    }
    if (bitmap) DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return ok;
}

bool writeBmp(const std::string& path, int w, int h, const std::vector<BYTE>& bits) {
    BITMAPINFOHEADER info = headerFor(w, h);
    if (bits.size() != info.biSizeImage) return false;
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;   // "BM"
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + info.biSizeImage;
    FILE* out = fopen(path.c_str(), "wb");
    if (!out) return false;
    bool ok = fwrite(&file, sizeof file, 1, out) == 1 && fwrite(&info, sizeof info, 1, out) == 1 &&
              fwrite(bits.data(), bits.size(), 1, out) == 1;
    return fclose(out) == 0 && ok;
}

}  // namespace

bool captureScreen(const std::string& path, const RECT& area, bool withPointer) {
    std::vector<BYTE> bits;
    return grab(area, withPointer, bits) && writeBmp(path, widthOf(area), heightOf(area), bits);
}

// ---- Recordings ------------------------------------------------------------------------------

struct Recording {
    RECT area;
    DWORD periodMs;
    HANDLE thread = nullptr;
    std::atomic<bool> stop{false};
    struct Frame {
        std::vector<BYTE> bits;
        DWORD at;               // GetTickCount when it was first seen
    };
    std::vector<Frame> frames;  // the thread's until it ends
    DWORD ended = 0;
    bool failed = false;
};

namespace {

// Enough for a few seconds at the shortest period; a recording that goes on stops growing.
constexpr size_t MAX_FRAMES = 240;

DWORD WINAPI recordFrames(void* parameter) {
    Recording& r = *static_cast<Recording*>(parameter);
    std::vector<BYTE> bits;
    while (!r.stop) {
        DWORD now = GetTickCount();
        if (!grab(r.area, true, bits)) {
            r.failed = true;
            break;
        }
        // A frame like the one before only keeps that one on screen longer.
        if ((r.frames.empty() || bits != r.frames.back().bits) && r.frames.size() < MAX_FRAMES)
            r.frames.push_back(Recording::Frame{bits, now});
        DWORD spent = GetTickCount() - now;
        if (spent < r.periodMs) Sleep(r.periodMs - spent);
    }
    r.ended = GetTickCount();
    return 0;
}

}  // namespace

Recording* startRecording(const RECT& area, DWORD periodMs) {
    Recording* r = new Recording();
    r->area = area;
    r->periodMs = periodMs;
    r->thread = CreateThread(nullptr, 0, recordFrames, r, 0, nullptr);
    if (!r->thread) r->failed = true;
    return r;
}

int finishRecording(Recording* r, const std::string& folder, const std::string& name, DWORD& spanMs,
                    std::string& error) {
    spanMs = 0;
    if (r->thread) {
        r->stop = true;
        WaitForSingleObject(r->thread, INFINITE);
        CloseHandle(r->thread);
    }
    int written = 0;
    if (r->failed || r->frames.empty()) {
        error = "the screen could not be captured";
    } else if (!folder.empty()) {
        std::string frames = folder + "\\frames";
        std::string dir = frames + "\\" + name;
        CreateDirectoryA(frames.c_str(), nullptr);
        CreateDirectoryA(dir.c_str(), nullptr);
        FILE* list = fopen((dir + "\\frames.txt").c_str(), "wb");    // read by a shell script
        bool ok = list != nullptr;
        for (size_t i = 0; ok && i < r->frames.size(); ++i) {
            char file[16];
            snprintf(file, sizeof file, "%03u.bmp", static_cast<unsigned>(i));
            DWORD until = i + 1 < r->frames.size() ? r->frames[i + 1].at : r->ended;
            DWORD shown = until - r->frames[i].at;
            ok = writeBmp(dir + "\\" + file, widthOf(r->area), heightOf(r->area),
                          r->frames[i].bits) &&
                 fprintf(list, "%s %lu\n", file, static_cast<unsigned long>(shown)) > 0;
            spanMs += shown;
            ++written;
        }
        if (list && fclose(list) != 0) ok = false;
        if (!ok) {
            error = "the frames could not be written to " + dir;
            written = 0;
        }
    }
    delete r;
    return written;
}

}  // namespace demo
