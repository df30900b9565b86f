// Window captures as PNG files: a small writer (stored deflate blocks, so no compression library is
// needed) and the capture itself.
#include <cstdint>
#include <cstring>

#include "vxhost/Scenario.h"

namespace vxhost {

namespace {

uint32_t Crc(const unsigned char* data, size_t size, uint32_t crc = 0) {
    static uint32_t table[256];
    static bool ready = false;
    if (!ready) {
        for (uint32_t n = 0; n < 256; n++) {
            uint32_t c = n;
            for (int k = 0; k < 8; k++) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[n] = c;
        }
        ready = true;
    }
    crc = ~crc;
    for (size_t i = 0; i < size; i++) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

void PutBig(std::string& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFF);
}

void Chunk(std::string& out, const char* type, const std::string& data) {
    PutBig(out, static_cast<uint32_t>(data.size()));
    std::string body = std::string(type, 4) + data;
    out += body;
    PutBig(out, Crc(reinterpret_cast<const unsigned char*>(body.data()), body.size()));
}

// zlib stream of stored blocks.
std::string Deflate(const std::string& raw) {
    std::string out = "\x78\x01";
    size_t at = 0;
    do {
        size_t n = raw.size() - at < 65535 ? raw.size() - at : 65535;
        bool last = at + n == raw.size();
        out += static_cast<char>(last ? 1 : 0);
        out += static_cast<char>(n & 0xFF);
        out += static_cast<char>(n >> 8);
        out += static_cast<char>(~n & 0xFF);
        out += static_cast<char>((~n >> 8) & 0xFF);
        out.append(raw, at, n);
        at += n;
    } while (at < raw.size());
    uint32_t a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    PutBig(out, (b << 16) | a);
    return out;
}

bool IsBlank(const std::vector<unsigned char>& rgb) {
    for (size_t i = 3; i < rgb.size(); i++)
        if (rgb[i] != rgb[i % 3]) return false;
    return true;
}

BOOL CALLBACK FindUnpainted(HWND child, LPARAM found) {
    if (IsWindowVisible(child) && GetUpdateRect(child, nullptr, FALSE)) {
        *reinterpret_cast<bool*>(found) = true;
        return FALSE;
    }
    return TRUE;
}

bool HasUnpaintedParts(HWND window) {
    bool found = GetUpdateRect(window, nullptr, FALSE) != FALSE;
    if (!found) EnumChildWindows(window, FindUnpainted, reinterpret_cast<LPARAM>(&found));
    return found;
}

// The whole window, frame and every child, painted afresh before its pixels are read: a dialog
// photographed at its last moment (a worker's WM_CLOSE is taken from the queue before the paints
// its last texts asked for) would otherwise show only the parts painted so far.
void PaintCompletely(HWND window) {
    const UINT flags = RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN;
    if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {
        RedrawWindow(window, nullptr, nullptr, flags | RDW_UPDATENOW);
    } else {
        // Painting is the window's thread's work: it is asked for, and waited for with a limit
        // (that thread may be busy elsewhere).
        RedrawWindow(window, nullptr, nullptr, flags);
        for (ULONGLONG until = GetTickCount64() + 1000; HasUnpaintedParts(window) && GetTickCount64() < until;) Sleep(10);
    }
    // Wine keeps what a window painted in a buffer of the process and hands it to the display when
    // a thread of the process waits for input; a wait that ends at once hands it over now.
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLINPUT);
}

bool Grab(HWND window, bool fromScreen, int width, int height, std::vector<unsigned char>* rgb) {
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (bitmap && bits) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        if (fromScreen) {
            RECT rect;
            GetWindowRect(window, &rect);
            ok = BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY) != 0;
        } else {
            // WM_PRINT through a timeout: the window's thread may be busy or about to end it.
            DWORD_PTR ignored = 0;
            ok = SendMessageTimeoutW(window, WM_PRINT, reinterpret_cast<WPARAM>(memory),
                                     PRF_CHILDREN | PRF_CLIENT | PRF_ERASEBKGND | PRF_NONCLIENT | PRF_OWNED,
                                     SMTO_ABORTIFHUNG, 3000, &ignored) != 0;
        }
        GdiFlush();
        if (ok) {
            rgb->resize(static_cast<size_t>(width) * height * 3);
            auto* pixels = static_cast<const unsigned char*>(bits);
            for (size_t i = 0, n = static_cast<size_t>(width) * height; i < n; i++) {
                (*rgb)[i * 3] = pixels[i * 4 + 2];
                (*rgb)[i * 3 + 1] = pixels[i * 4 + 1];
                (*rgb)[i * 3 + 2] = pixels[i * 4];
            }
        }
        SelectObject(memory, old);
    }
    if (bitmap) DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return ok;
}

}  // namespace

bool WritePng(const std::wstring& file, int width, int height, const std::vector<unsigned char>& rgb) {
    if (width <= 0 || height <= 0 || rgb.size() != static_cast<size_t>(width) * height * 3) return false;
    std::string header;
    PutBig(header, static_cast<uint32_t>(width));
    PutBig(header, static_cast<uint32_t>(height));
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, no filter, no interlace
    std::string raw;
    raw.reserve(rgb.size() + height);
    for (int y = 0; y < height; y++) {
        raw += '\0';
        raw.append(reinterpret_cast<const char*>(&rgb[static_cast<size_t>(y) * width * 3]), static_cast<size_t>(width) * 3);
    }
    std::string png = "\x89PNG\r\n\x1a\n";
    Chunk(png, "IHDR", header);
    Chunk(png, "IDAT", Deflate(raw));
    Chunk(png, "IEND", "");
    HANDLE out = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(out, png.data(), static_cast<DWORD>(png.size()), &written, nullptr);
    CloseHandle(out);
    return ok && written == png.size();
}

bool CaptureWindowPng(HWND window, const std::wstring& file, std::string* error) {
    RECT rect;
    if (!IsWindow(window) || !GetWindowRect(window, &rect)) {
        *error = "the window is gone";
        return false;
    }
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) {
        *error = "the window has no size";
        return false;
    }
    // What is on the screen first (with the caption a window system draws); a window that is
    // covered or off screen is asked to print itself.
    PaintCompletely(window);
    std::vector<unsigned char> rgb;
    bool ok = Grab(window, true, width, height, &rgb) && !IsBlank(rgb);
    if (!ok) ok = Grab(window, false, width, height, &rgb) && !IsBlank(rgb);
    if (!ok) {
        *error = "no pixels could be read";
        return false;
    }
    if (!WritePng(file, width, height, rgb)) {
        *error = "cannot write " + ToUtf8(file);
        return false;
    }
    return true;
}

}  // namespace vxhost
