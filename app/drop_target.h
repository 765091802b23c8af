// drop_target.h - the main window's OLE drop target. One instance lives in
// ViewerMain's storage for the whole run; it is not reference-counted.
//
// The viewer has no compiler runtime, so the object is a plain record whose
// first field points to an IDropTarget table written out by hand, slot by
// slot in the platform's order. The platform sees the record's address as
// an IDropTarget pointer.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <shlobj.h>

struct DropTarget;

// The IDropTarget operations, in slot order (IUnknown's three first).
struct DropTargetTable {
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(DropTarget* self, REFIID iid, void** object);
    ULONG(STDMETHODCALLTYPE* AddRef)(DropTarget* self);
    ULONG(STDMETHODCALLTYPE* Release)(DropTarget* self);
    HRESULT(STDMETHODCALLTYPE* DragEnter)(DropTarget* self, IDataObject* data, DWORD keyState, POINTL point,
                                          DWORD* effect);
    HRESULT(STDMETHODCALLTYPE* DragOver)(DropTarget* self, DWORD keyState, POINTL point, DWORD* effect);
    HRESULT(STDMETHODCALLTYPE* DragLeave)(DropTarget* self);
    HRESULT(STDMETHODCALLTYPE* Drop)(DropTarget* self, IDataObject* data, DWORD keyState, POINTL point,
                                     DWORD* effect);
};

struct DropTarget {
    const DropTargetTable* table;  // the interface table; first, as the platform expects
    HWND hwnd;                     // the main window, which receives WM_OPENARCHIVE
    IDropTargetHelper* helper;     // the shell's drag-image helper, or null
    bool accept;                   // the current drag carries exactly one file
};

// DropTargetInterface
//     The object as the platform sees it.
inline IDropTarget* DropTargetInterface(DropTarget* target)
{
    return reinterpret_cast<IDropTarget*>(target);
}

// CreateDropTarget
//     Prepares the object in target's storage for the main window, with the
//     drag-image helper if one can be made; called right after the main
//     window exists, before the registration.
void CreateDropTarget(DropTarget* target, HWND hwnd);

// ReleaseDropTarget
//     Gives back the drag-image helper; the object itself stays, and the
//     registration is withdrawn with the main window, not here.
void ReleaseDropTarget(DropTarget* target);
