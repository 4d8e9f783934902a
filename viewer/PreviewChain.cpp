#include "PreviewChain.h"

#include <cwchar>

#include "orba/ComPtr.h"
#include "orba/Log.h"

namespace {

using orba::ComPtr;

ComPtr<IPin> FirstPin(IBaseFilter* filter, PIN_DIRECTION direction, bool connected) {
  ComPtr<IEnumPins> pins;
  if (!filter || FAILED(filter->EnumPins(&pins)) || !pins) return nullptr;
  ComPtr<IPin> pin;
  ULONG fetched = 0;
  while (pins->Next(1, &pin, &fetched) == S_OK && fetched == 1) {
    PIN_DIRECTION d;
    if (FAILED(pin->QueryDirection(&d)) || d != direction) continue;
    if (!connected) return pin;
    ComPtr<IPin> peer;
    if (SUCCEEDED(pin->ConnectedTo(&peer)) && peer) return pin;
  }
  return nullptr;
}

ComPtr<IBaseFilter> OwnerOf(IPin* pin) {
  PIN_INFO info = {};
  if (!pin || FAILED(pin->QueryPinInfo(&info))) return nullptr;
  ComPtr<IBaseFilter> owner;
  owner.Attach(info.pFilter);
  return owner;
}

// Walks from the connected preview pin to the renderer and records the class
// and name of every filter on the way. False when the walk does not end at the
// renderer within the links a chain holds.
bool Remember(IPin* preview, IBaseFilter* renderer, PreviewChain* chain) {
  PreviewChain found = {};
  ComPtr<IPin> out(preview);
  for (;;) {
    ComPtr<IPin> in;
    if (FAILED(out->ConnectedTo(&in)) || !in) return false;
    ComPtr<IBaseFilter> next = OwnerOf(in.Get());
    if (!next) return false;
    if (next.Get() == renderer) break;
    if (found.length == kPreviewChainMaxLinks) return false;
    PreviewChainLink& link = found.links[found.length];
    ComPtr<IPersist> persist;
    FILTER_INFO info = {};
    if (FAILED(next.QueryInterface(IID_IPersist, persist)) ||
        FAILED(persist->GetClassID(&link.clsid)) || FAILED(next->QueryFilterInfo(&info))) {
      return false;
    }
    if (info.pGraph) info.pGraph->Release();
    wcsncpy(link.name, info.achName, MAX_FILTER_NAME - 1);
    link.name[MAX_FILTER_NAME - 1] = L'\0';
    ++found.length;
    out = FirstPin(next.Get(), PINDIR_OUTPUT, true);
    if (!out) return false;
  }
  found.known = true;
  *chain = found;
  return true;
}

// Builds the remembered chain with direct connections. On failure whatever it
// added is taken out of the graph again, which also disconnects the preview.
HRESULT Rebuild(IGraphBuilder* graph, IPin* preview, IBaseFilter* renderer,
                const PreviewChain& chain) {
  ComPtr<IBaseFilter> added[kPreviewChainMaxLinks];
  HRESULT hr = S_OK;
  ComPtr<IPin> out(preview);
  int i = 0;
  for (; i < chain.length && SUCCEEDED(hr); ++i) {
    hr = CoCreateInstance(chain.links[i].clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                          added[i].PutVoid());
    if (SUCCEEDED(hr)) hr = graph->AddFilter(added[i].Get(), chain.links[i].name);
    ComPtr<IPin> in;
    if (SUCCEEDED(hr)) {
      in = FirstPin(added[i].Get(), PINDIR_INPUT, false);
      hr = in ? graph->ConnectDirect(out.Get(), in.Get(), nullptr) : E_FAIL;
    }
    if (SUCCEEDED(hr)) {
      out = FirstPin(added[i].Get(), PINDIR_OUTPUT, false);
      if (!out) hr = E_FAIL;
    }
  }
  if (SUCCEEDED(hr)) {
    const ComPtr<IPin> in = FirstPin(renderer, PINDIR_INPUT, false);
    hr = in ? graph->ConnectDirect(out.Get(), in.Get(), nullptr) : E_FAIL;
  }
  if (FAILED(hr)) {
    for (ComPtr<IBaseFilter>& filter : added) {
      if (filter) graph->RemoveFilter(filter.Get());  // disconnects its pins too
    }
  }
  return hr;
}

}  // namespace

HRESULT RenderPreview(IGraphBuilder* graph, IPin* preview, IBaseFilter* renderer,
                      PreviewChain* chain) {
  if (!graph || !preview || !renderer || !chain) return E_POINTER;
  if (chain->known) {
    const HRESULT hr = Rebuild(graph, preview, renderer, *chain);
    if (SUCCEEDED(hr)) return hr;
    DebugLine("The preview's earlier filters did not connect (hr=%x): rendering it anew",
              static_cast<unsigned>(hr));
    chain->known = false;
  }
  const HRESULT hr = graph->Render(preview);
  if (SUCCEEDED(hr) && !Remember(preview, renderer, chain)) {
    DebugLine("The preview does not end at the mixing renderer: its filters are not remembered");
  }
  return hr;
}
