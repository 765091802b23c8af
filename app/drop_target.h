// drop_target.h - the main window's OLE drop target. One instance lives in
// ViewerMain's storage for the whole run; it is not reference-counted.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <shlobj.h>

class DropTarget : public IDropTarget {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragOver(DWORD keyState, POINTL point, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragLeave() override;
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) override;

    HWND hwnd;                   // the main window, which receives WM_OPENARCHIVE
    IDropTargetHelper* helper;   // the shell's drag-image helper, or null
    bool accept;                 // the current drag carries exactly one file
};

// CreateDropTarget
//     Prepares the object in target's storage for the main window.
void CreateDropTarget(DropTarget* target, HWND hwnd);

// ReleaseDropTarget
//     Gives back what the object holds; the object itself stays.
void ReleaseDropTarget(DropTarget* target);
