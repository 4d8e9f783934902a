#pragma once
// The capture graph: camera -> Smart Tee; the tee's capture pin -> ORBAProc ->
// Null Renderer; its preview pin -> ZoomText's CCTV renderer or the Video Mixing
// Renderer 9 drawing windowless into the viewer window.
#include <windows.h>

#include <dshow.h>

#include <cstdint>

#include "orba/ComPtr.h"

// Builds the graph around the camera's capture filter (g_viewer.pSrcFilter).
// 0 on success; a failure code after a numbered message. Does not return when
// ORBAProc cannot be created or the mixing renderer cannot be added (exit code 1).
HRESULT CaptureVideo();
// Stops and dismantles what CaptureVideo and the start-up pass set up. Every
// reference it releases is cleared, so a second call does nothing.
void TeardownGraph();

// Releases every graph reference of the state record and clears it, in one
// order: the control interfaces, the filters, the builder, the graph. ZoomText's
// renderer is kept when asked (it is released after its area is hidden).
void ReleaseGraphReferences(bool keepZoomTextRenderer);
void ReleaseZoomTextRenderer();

// Creates the graph manager and the capture builder and queries the graph's
// control interfaces; graph events are notified to the viewer window.
HRESULT GetVideoInterfaces();

// The index-th pin of a direction, in the filter's enumeration order, or null.
orba::ComPtr<IPin> GetPin(IBaseFilter* filter, PIN_DIRECTION direction, int index);
// The first pin of the direction that is not connected, with a reference the
// caller releases; E_FAIL when there is none.
HRESULT FindUnconnectedPin(IBaseFilter* filter, PIN_DIRECTION direction, IPin** pin);
// The first output pin whose name (in the ANSI code page, at most 128 bytes)
// contains the text, case-sensitive; null when none.
orba::ComPtr<IPin> FindPinByName(IBaseFilter* filter, const char* text);

// The width and height of the capture pin's current format. E_INVALIDARG for a
// null argument, E_UNEXPECTED for a format that is neither an 88-byte
// VIDEOINFOHEADER nor a 112-byte VIDEOINFOHEADER2 (the outputs stay untouched).
HRESULT GetCameraResolution(ICaptureGraphBuilder2* builder, IBaseFilter* capture, int32_t* width,
                            int32_t* height);

// Registers the graph in the running-object table under
// "FilterGraph %08x pid %08x", so that graph tools can bind to it.
HRESULT RegisterGraphInRot(IUnknown* graph, DWORD* cookie);
void RemoveGraphFromRot(DWORD cookie);

// The label of the mixing renderer in the graph.
extern const wchar_t kMixRendererLabel[];  // L"VMR9"
