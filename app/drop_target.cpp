// drop_target.cpp - the main window's drop target. For now it accepts
// nothing: every drag is answered with no effect.
#include "app/drop_target.h"

#include <string.h>

HRESULT STDMETHODCALLTYPE DropTarget::QueryInterface(REFIID iid, void** object)
{
    if (memcmp(&iid, &IID_IUnknown, sizeof(IID)) == 0 || memcmp(&iid, &IID_IDropTarget, sizeof(IID)) == 0) {
        *object = this;
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE DropTarget::AddRef()
{
    return 1;
}

ULONG STDMETHODCALLTYPE DropTarget::Release()
{
    return 1;
}

HRESULT STDMETHODCALLTYPE DropTarget::DragEnter(IDataObject*, DWORD, POINTL, DWORD* effect)
{
    accept = false;
    *effect = DROPEFFECT_NONE;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DropTarget::DragOver(DWORD, POINTL, DWORD* effect)
{
    *effect = DROPEFFECT_NONE;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DropTarget::DragLeave()
{
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DropTarget::Drop(IDataObject*, DWORD, POINTL, DWORD* effect)
{
    *effect = DROPEFFECT_NONE;
    return S_OK;
}

// CreateDropTarget
//     Binds the object to the main window.
void CreateDropTarget(DropTarget* target, HWND hwnd)
{
    target->hwnd = hwnd;
    target->helper = nullptr;
    target->accept = false;
}

// ReleaseDropTarget
//     Releases the drag-image helper, if one was made.
void ReleaseDropTarget(DropTarget* target)
{
    if (target->helper != nullptr) {
        target->helper->Release();
        target->helper = nullptr;
    }
}
