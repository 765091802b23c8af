// drop_target.cpp - the main window's drop target: it accepts a drag that
// carries exactly one file, with the copy effect, and opens that file on the
// drop by sending WM_OPENARCHIVE to the main window. The shell's drag-image
// helper, when there is one, sees every drag operation first.
#include "app/drop_target.h"

#include <shellapi.h>
#include <string.h>

#include "app/resource.h"

namespace {

// The interface identifiers, defined here so that the program needs no
// import library for them. These local definitions hide the headers'
// declarations inside this namespace.
const GUID CLSID_DragDropHelper = {0x4657278A, 0x411B, 0x11D2, {0x83, 0x9A, 0x00, 0xC0, 0x4F, 0xD9, 0x18, 0xD0}};
const IID IID_IDropTargetHelper = {0x4657278B, 0x411B, 0x11D2, {0x83, 0x9A, 0x00, 0xC0, 0x4F, 0xD9, 0x18, 0xD0}};
const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IDropTarget = {0x00000122, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// The list of dropped files, as the platform publishes its format.
const UINT kQueryFileCount = 0xFFFFFFFF;

bool SameIid(REFIID a, const IID& b)
{
    return memcmp(&a, &b, sizeof(IID)) == 0;
}

// HoldsOneFile
//     Exactly one file, with a name: Wine counts an empty list as one empty
//     name, which would leave nothing to open.
bool HoldsOneFile(HDROP files)
{
    return DragQueryFileA(files, kQueryFileCount, nullptr, 0) == 1 && DragQueryFileA(files, 0, nullptr, 0) != 0;
}

// OpenDroppedFile
//     Hands the first file's path to the main window; the whole open runs
//     before the send returns, so the buffer outlives it.
void OpenDroppedFile(HWND hwnd, HDROP files)
{
    char path[MAX_PATH];
    // A longer name would arrive cut short and could name another file, and
    // the file calls could not open it anyway: it is opened as the empty
    // path, which fails the same way, so that the window is left empty as
    // after every failed open.
    if (DragQueryFileA(files, 0, nullptr, 0) >= sizeof path)
        path[0] = '\0';
    else
        DragQueryFileA(files, 0, path, sizeof path);
    SendMessageA(hwnd, WM_OPENARCHIVE, 0, reinterpret_cast<LPARAM>(path));
}

// CheckDroppedFiles
//     Answers copy or nothing: copy when the source allows it and the drag
//     carries exactly one file. Without a data object the answer rests on
//     what the drag's last evaluation found.
void CheckDroppedFiles(DropTarget* self, IDataObject* data, DWORD* effect, bool open)
{
    if ((*effect & DROPEFFECT_COPY) == 0) {
        *effect = DROPEFFECT_NONE;
        return;
    }
    if (data != nullptr) {
        FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        STGMEDIUM medium;
        if (SUCCEEDED(data->GetData(&format, &medium))) {
            // The data object may belong to another program: take nothing
            // but global memory for a file list.
            HDROP files = static_cast<HDROP>(medium.hGlobal);
            if (medium.tymed == TYMED_HGLOBAL && HoldsOneFile(files)) {
                self->accept = true;
                if (open)
                    OpenDroppedFile(self->hwnd, files);
            }
            ReleaseStgMedium(&medium);
        }
    }
    *effect = self->accept ? DROPEFFECT_COPY : DROPEFFECT_NONE;
}

// QueryInterface
//     Only the two interfaces that the object is; no count is taken.
HRESULT STDMETHODCALLTYPE QueryInterface(DropTarget* self, REFIID iid, void** object)
{
    if (SameIid(iid, IID_IUnknown) || SameIid(iid, IID_IDropTarget)) {
        *object = self;
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

// AddRef, Release
//     The object lives for the whole run in its owner's storage.
ULONG STDMETHODCALLTYPE AddRef(DropTarget*)
{
    return 1;
}

ULONG STDMETHODCALLTYPE Release(DropTarget*)
{
    return 1;
}

// DragEnter
//     A new drag: forget the last one, then look at its files.
HRESULT STDMETHODCALLTYPE DragEnter(DropTarget* self, IDataObject* data, DWORD, POINTL point, DWORD* effect)
{
    if (self->helper != nullptr)
        self->helper->DragEnter(self->hwnd, data, reinterpret_cast<POINT*>(&point), *effect);
    self->accept = false;
    CheckDroppedFiles(self, data, effect, false);
    return S_OK;
}

// DragOver
//     The files do not change during a drag: answer from DragEnter's finding.
HRESULT STDMETHODCALLTYPE DragOver(DropTarget* self, DWORD, POINTL point, DWORD* effect)
{
    if (self->helper != nullptr)
        self->helper->DragOver(reinterpret_cast<POINT*>(&point), *effect);
    CheckDroppedFiles(self, nullptr, effect, false);
    return S_OK;
}

// DragLeave
//     Only the drag image has anything to clean up.
HRESULT STDMETHODCALLTYPE DragLeave(DropTarget* self)
{
    if (self->helper != nullptr)
        self->helper->DragLeave();
    return S_OK;
}

// Drop
//     Opens the one dropped file, message boxes included, before returning.
HRESULT STDMETHODCALLTYPE Drop(DropTarget* self, IDataObject* data, DWORD, POINTL point, DWORD* effect)
{
    if (self->helper != nullptr)
        self->helper->Drop(data, reinterpret_cast<POINT*>(&point), *effect);
    CheckDroppedFiles(self, data, effect, true);
    return S_OK;
}

const DropTargetTable kDropTargetTable = {QueryInterface, AddRef, Release, DragEnter, DragOver, DragLeave, Drop};

// CreateDragImageHelper
//     The shell's helper that draws the dragged image, or null.
IDropTargetHelper* CreateDragImageHelper(void)
{
    IDropTargetHelper* helper = nullptr;
    // Without it drags simply show no image, so its result is not tested.
    CoCreateInstance(CLSID_DragDropHelper, nullptr, CLSCTX_INPROC_SERVER, IID_IDropTargetHelper,
                     reinterpret_cast<void**>(&helper));
    return helper;
}

}  // namespace

void CreateDropTarget(DropTarget* target, HWND hwnd)
{
    target->table = &kDropTargetTable;
    target->hwnd = hwnd;
    target->accept = false;
    target->helper = CreateDragImageHelper();
}

void ReleaseDropTarget(DropTarget* target)
{
    if (target->helper != nullptr) {
        target->helper->Release();
        target->helper = nullptr;
    }
}
