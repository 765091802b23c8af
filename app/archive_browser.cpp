// archive_browser.cpp - opening archives, listing their bitmap resources,
// and showing the selected one.
#include "app/archive_browser.h"

#include "app/file_dialogs.h"
#include "app/main_window.h"
#include "app/messages.h"

ArchiveView g_archive;
char g_openPath[MAX_PATH];

namespace {

// The list reserves this much text storage per line before it is filled.
const unsigned kReservedBytesPerLine = 32;

// "[65535]" and its terminating zero fit with room to spare.
const int kIdTextSize = 16;

// "Size: 1024x1024" and more.
const int kSizeTextSize = 32;

// Separators are the control bytes and the space. Bytes from 0x80 up are
// letters of the ANSI code page, so the comparison is unsigned: an unquoted
// path such as C:\Bilder\Übersicht.mhk stays whole.
bool IsSeparator(char c)
{
    const unsigned char b = static_cast<unsigned char>(c);
    return b >= 0x01 && b <= 0x20;
}

// GetTitleOfPath
//     The file title of path into title (MAX_PATH bytes). Where the system
//     gives none (Wine refuses names with brackets, for one), the path's last
//     component stands in, so that the window never shows a bare " - ".
void GetTitleOfPath(const char* path, char* title)
{
    title[0] = '\0';
    if (GetFileTitleA(path, title, MAX_PATH) == 0)
        return;
    const char* name = path;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '\\' || *p == '/' || *p == ':')
            name = p + 1;
    }
    lstrcpynA(title, name, MAX_PATH);
}

// ReserveListItems, AddListItem
//     The enumeration's callbacks: storage for count lines at once instead
//     of one allocation per line, then one line per resource (its name, or
//     "[ID]") carrying its ListItemKey. The list copies the text, so nothing
//     it holds points into the archive.
void ReserveListItems(unsigned count)
{
    SendMessageA(g_hwndList, LB_INITSTORAGE, count, static_cast<LPARAM>(count) * kReservedBytesPerLine);
}

void AddListItem(uint16_t id, uint16_t index, const char* name)
{
    char idText[kIdTextSize];
    if (name == nullptr) {
        wsprintfA(idText, UNNAMED_RESOURCE_TEXT, static_cast<int>(id));
        name = idText;
    }
    LRESULT line = SendMessageA(g_hwndList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    // A line the list could not store is simply missing.
    if (line >= 0)
        SendMessageA(g_hwndList, LB_SETITEMDATA, static_cast<WPARAM>(line), ListItemKey(id, index));
}

}  // namespace

void OpenArchive(HWND hwnd, const char* path)
{
    SetWindowTextA(hwnd, PRODUCT_NAME);
    if (g_archive.base != nullptr) {
        ReleaseArchive(&g_archive);
        SendMessageA(g_hwndList, LB_RESETCONTENT, 0, 0);
        if (g_hbmImage != nullptr) {
            SetDisplayedImage(nullptr);
            ClearStatusText();
            RepaintWindow(hwnd);
        }
    }

    if (!MapArchive(&g_archive, path)) {
        ShowWarning(hwnd, MESSAGE_CANNOT_OPEN);
        return;
    }
    if (!IsValidArchive(g_archive.base, g_archive.size)) {
        ReleaseArchive(&g_archive);
        ShowWarning(hwnd, MESSAGE_NOT_ARCHIVE);
        return;
    }

    // Filling a long list takes a moment: show it, and draw the list once.
    HCURSOR previous = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    SendMessageA(g_hwndList, WM_SETREDRAW, FALSE, 0);
    EnumerateResources(g_archive.base, kTypeBitmap, ReserveListItems, AddListItem);
    SendMessageA(g_hwndList, WM_SETREDRAW, TRUE, 0);
    SetCursor(previous);

    // What counts is what the list holds, not what was enumerated.
    if (SendMessageA(g_hwndList, LB_GETCOUNT, 0, 0) <= 0) {
        ReleaseArchive(&g_archive);
        ShowInfo(hwnd, MESSAGE_NO_IMAGES);
        return;
    }

    char title[MAX_PATH];
    GetTitleOfPath(path, title);
    char caption[MAX_PATH + sizeof " - " PRODUCT_NAME];
    wsprintfA(caption, "%s - %s", title, PRODUCT_NAME);
    SetWindowTextA(hwnd, caption);
}

bool DecodeSelectedImage(bool bottomUp, BitmapBuffer* buffer)
{
    if (g_archive.base == nullptr)
        return false;
    LRESULT line = SendMessageA(g_hwndList, LB_GETCURSEL, 0, 0);
    // The list's error value must not be taken for a key: its low half,
    // 65535, is a valid file-table index.
    if (line < 0)
        return false;
    uint32_t key = static_cast<uint32_t>(SendMessageA(g_hwndList, LB_GETITEMDATA, static_cast<WPARAM>(line), 0));
    const uint8_t* data;
    uint32_t size;
    if (!GetResourceData(g_archive.base, static_cast<uint16_t>(key), &data, &size))
        return false;
    return DecodeBitmapResource(data, size, bottomUp, buffer);
}

void ShowSelectedImage(HWND hwnd)
{
    BitmapBuffer bitmap;
    if (!DecodeSelectedImage(false, &bitmap)) {
        ClearStatusText();
        ShowWarning(hwnd, MESSAGE_CANNOT_READ);
        return;
    }

    // The rows come from bitmap.pixels, which may lie in the archive's view
    // rather than behind the header. A device bitmap paints fastest.
    const BITMAPINFOHEADER* header = bitmap.header;
    HDC dc = GetDC(hwnd);
    SetDisplayedImage(CreateDIBitmap(dc, header, CBM_INIT, bitmap.pixels,
                                     reinterpret_cast<const BITMAPINFO*>(header), DIB_RGB_COLORS));
    ReleaseDC(hwnd, dc);

    const long height = header->biHeight < 0 ? -header->biHeight : header->biHeight;
    char text[kSizeTextSize];
    wsprintfA(text, "Size: %lux%lu", static_cast<unsigned long>(header->biWidth), static_cast<unsigned long>(height));
    SetStatusText(text);

    ReleaseBitmap(&bitmap);
    RepaintWindow(hwnd);
    UpdateWindow(hwnd);
}

void BrowseAndOpenArchive(HWND hwnd)
{
    if (ShowOpenDialog(hwnd, g_openPath))
        OpenArchive(hwnd, g_openPath);
}

void OpenCommandLineArchive(HWND hwnd)
{
    char* line = GetCommandLineA();
    if (line == nullptr)
        return;
    char* token;
    char* rest = NextCommandLineToken(line, &token);
    NextCommandLineToken(rest, &token);
    if (*token != '\0')
        OpenArchive(hwnd, token);
}

char* NextCommandLineToken(char* position, char** token)
{
    char* p = position;
    while (IsSeparator(*p))
        ++p;
    if (*p == '"') {
        ++p;
        *token = p;
        while (*p != '\0' && *p != '"')
            ++p;
    } else {
        *token = p;
        while (*p != '\0' && !IsSeparator(*p))
            ++p;
    }
    if (*p == '\0')
        return p;
    *p = '\0';
    return p + 1;
}

void ReleaseArchiveAtExit(void)
{
    if (g_archive.base != nullptr)
        ReleaseArchive(&g_archive);
}
