#pragma once
// The filters between the camera's preview pin and the mixing renderer.
//
// The graph's intelligent connection finds the decoder by walking every
// registered filter. Each walk costs time, and under Wine it keeps a registry
// handle for every registered filter, about 36 for each restart of the viewer.
// The chain found once is therefore remembered, and later passes build it
// again with direct connections; if that fails (another camera, another
// format), the intelligent connection runs again and its chain is remembered.
#include <windows.h>

#include <dshow.h>

constexpr int kPreviewChainMaxLinks = 4;

struct PreviewChainLink {
  CLSID clsid;
  wchar_t name[MAX_FILTER_NAME];  // the name the graph gave it
};

struct PreviewChain {
  bool known;  // false until one intelligent connection has succeeded
  int length;  // 0: the preview pin connects to the renderer directly
  PreviewChainLink links[kPreviewChainMaxLinks];
};

// Connects the preview pin to the renderer's input pin through the remembered
// chain when there is one and it connects, else through graph->Render, whose
// chain is then remembered. Returns what the last connection attempt returned.
HRESULT RenderPreview(IGraphBuilder* graph, IPin* preview, IBaseFilter* renderer,
                      PreviewChain* chain);
