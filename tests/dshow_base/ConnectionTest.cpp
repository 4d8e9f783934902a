// Connecting and disconnecting pins of the base layer, inside Wine's filter graph,
// and the allocator negotiation with Wine's Null Renderer.
#include <gtest/gtest.h>

#include <cstring>

#include "TestFilters.h"
#include "TestHelpers.h"
#include "orba/MediaType.h"

namespace dshow_test {
namespace {

struct Chain {
  ComPtr<IGraphBuilder> graph;
  CPushSource* source = nullptr;
  ComPtr<IBaseFilter> sourceFilter;
  ComPtr<IBaseFilter> transform;
  ComPtr<IPin> sourceOut, in, out;
};

Chain MakeChain() {
  Chain c;
  c.graph = CreateGraph();
  c.source = new CPushSource();
  c.sourceFilter = static_cast<IBaseFilter*>(c.source);
  c.transform = CreateTestTransform();
  EXPECT_EQ(S_OK, c.graph->AddFilter(c.sourceFilter.Get(), L"Source"));
  EXPECT_EQ(S_OK, c.graph->AddFilter(c.transform.Get(), L"Transform"));
  c.sourceOut = static_cast<IPin*>(c.source->Pin());
  c.in = PinOf(c.transform.Get(), L"In");
  c.out = PinOf(c.transform.Get(), L"Out");
  return c;
}

TEST(Connection, UnconnectedPinsSayNotConnected) {
  ComScope com;
  ComPtr<IBaseFilter> filter = CreateTestTransform();
  ComPtr<IPin> in = PinOf(filter.Get(), L"In");
  IPin* peer = reinterpret_cast<IPin*>(1);
  EXPECT_EQ(VFW_E_NOT_CONNECTED, in->ConnectedTo(&peer));
  EXPECT_EQ(nullptr, peer);
  EXPECT_EQ(E_POINTER, in->ConnectedTo(nullptr));
  AM_MEDIA_TYPE mt;
  std::memset(&mt, 0xcc, sizeof mt);
  EXPECT_EQ(VFW_E_NOT_CONNECTED, in->ConnectionMediaType(&mt));
  EXPECT_EQ(GUID_NULL, mt.majortype);
  EXPECT_EQ(nullptr, mt.pbFormat);
  EXPECT_EQ(S_FALSE, in->Disconnect());
}

TEST(Connection, ConnectsWithAnAcceptedTypeAndReportsBothEnds) {
  ComScope com;
  Chain c = MakeChain();
  CMediaType mjpg;
  MakeMjpgType(&mjpg, 1280, 720);
  EXPECT_EQ(S_OK, c.in->QueryAccept(&mjpg));
  CMediaType rgb(mjpg);
  rgb.SetSubtype(&MEDIASUBTYPE_RGB24);
  EXPECT_EQ(S_FALSE, c.in->QueryAccept(&rgb));
  CMediaType shortFormat(mjpg);
  shortFormat.ReallocFormatBuffer(sizeof(VIDEOINFOHEADER) - 1);
  EXPECT_EQ(S_FALSE, c.in->QueryAccept(&shortFormat));
  // Until the input is connected the output has no type to accept.
  EXPECT_EQ(S_FALSE, c.out->QueryAccept(&mjpg));

  ASSERT_EQ(S_OK, c.graph->ConnectDirect(c.sourceOut.Get(), c.in.Get(), nullptr));
  ComPtr<IPin> peer;
  ASSERT_EQ(S_OK, c.in->ConnectedTo(&peer));
  EXPECT_EQ(c.sourceOut.Get(), peer.Get());
  ASSERT_EQ(S_OK, c.sourceOut->ConnectedTo(&peer));
  EXPECT_EQ(c.in.Get(), peer.Get());

  // Without a given type the receiver's types come first, then the source's own:
  // the first one offered wins.
  AM_MEDIA_TYPE mt = {};
  ASSERT_EQ(S_OK, c.in->ConnectionMediaType(&mt));
  EXPECT_TRUE(static_cast<CMediaType&>(mt) == mjpg);
  orba::FreeMediaType(mt);
  ASSERT_EQ(S_OK, c.sourceOut->ConnectionMediaType(&mt));
  EXPECT_TRUE(static_cast<CMediaType&>(mt) == mjpg);
  orba::FreeMediaType(mt);

  // The output now offers the input's type, and only that.
  EXPECT_EQ(S_OK, c.out->QueryAccept(&mjpg));
  CMediaType other;
  MakeMjpgType(&other, 640, 480);
  EXPECT_EQ(S_FALSE, c.out->QueryAccept(&other));
  ComPtr<IEnumMediaTypes> types;
  ASSERT_EQ(S_OK, c.out->EnumMediaTypes(&types));
  AM_MEDIA_TYPE* offered[2] = {};
  ULONG fetched = 0;
  EXPECT_EQ(S_FALSE, types->Next(2, offered, &fetched));
  ASSERT_EQ(1u, fetched);
  EXPECT_TRUE(*static_cast<CMediaType*>(offered[0]) == mjpg);
  orba::DeleteMediaType(offered[0]);

  PIN_INFO info = {};
  ASSERT_EQ(S_OK, c.in->QueryPinInfo(&info));
  EXPECT_EQ(c.transform.Get(), info.pFilter);
  EXPECT_EQ(PINDIR_INPUT, info.dir);
  EXPECT_STREQ(L"XForm In", info.achName);
  info.pFilter->Release();
}

TEST(Connection, ConnectWithAGivenTypeUsesExactlyThatType) {
  ComScope com;
  Chain c = MakeChain();
  CMediaType small;
  MakeMjpgType(&small, 640, 480);
  ASSERT_EQ(S_OK, c.graph->ConnectDirect(c.sourceOut.Get(), c.in.Get(), &small));
  AM_MEDIA_TYPE mt = {};
  ASSERT_EQ(S_OK, c.in->ConnectionMediaType(&mt));
  EXPECT_TRUE(static_cast<CMediaType&>(mt) == small);
  orba::FreeMediaType(mt);

  // A second connection is refused on both sides.
  EXPECT_EQ(VFW_E_ALREADY_CONNECTED, c.sourceOut->Connect(c.in.Get(), nullptr));
  EXPECT_EQ(VFW_E_ALREADY_CONNECTED, c.in->ReceiveConnection(c.sourceOut.Get(), &small));
}

TEST(Connection, RefusedTypeLeavesBothPinsUnconnected) {
  ComScope com;
  Chain c = MakeChain();
  CMediaType rgb;
  MakeMjpgType(&rgb, 1280, 720);
  rgb.SetSubtype(&MEDIASUBTYPE_RGB24);
  // The source refuses a type it does not offer.
  EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, c.sourceOut->Connect(c.in.Get(), &rgb));
  // The transform refuses a type it does not take.
  EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, c.in->ReceiveConnection(c.sourceOut.Get(), &rgb));
  ComPtr<IPin> peer;
  EXPECT_EQ(VFW_E_NOT_CONNECTED, c.in->ConnectedTo(&peer));
  EXPECT_EQ(VFW_E_NOT_CONNECTED, c.sourceOut->ConnectedTo(&peer));
  // Two input pins cannot be joined.
  EXPECT_EQ(VFW_E_INVALID_DIRECTION, c.in->ReceiveConnection(c.in.Get(), &rgb));
}

TEST(Connection, DisconnectOnlyWhenStopped) {
  ComScope com;
  Chain c = MakeChain();
  CRecordingSink* sink = new CRecordingSink(true);
  ComPtr<IBaseFilter> sinkFilter(static_cast<IBaseFilter*>(sink));
  ASSERT_EQ(S_OK, c.graph->AddFilter(sinkFilter.Get(), L"Sink"));
  ASSERT_EQ(S_OK, c.graph->ConnectDirect(c.sourceOut.Get(), c.in.Get(), nullptr));
  ASSERT_EQ(S_OK, c.graph->ConnectDirect(c.out.Get(), static_cast<IPin*>(sink->Pin()), nullptr));

  ASSERT_EQ(S_OK, c.transform->Pause());
  EXPECT_EQ(VFW_E_NOT_STOPPED, c.in->Disconnect());
  EXPECT_EQ(VFW_E_NOT_STOPPED, c.out->Disconnect());
  ASSERT_EQ(S_OK, c.transform->Stop());

  EXPECT_EQ(S_OK, c.out->Disconnect());
  EXPECT_EQ(S_FALSE, c.out->Disconnect());
  EXPECT_EQ(S_OK, static_cast<IPin*>(sink->Pin())->Disconnect());
  ComPtr<IPin> peer;
  EXPECT_EQ(VFW_E_NOT_CONNECTED, c.out->ConnectedTo(&peer));
  // The graph's own disconnect reaches the pin as well.
  EXPECT_EQ(S_OK, c.graph->Disconnect(c.in.Get()));
  EXPECT_EQ(VFW_E_NOT_CONNECTED, c.in->ConnectedTo(&peer));
}

TEST(Connection, OutputNeedsAConnectedInput) {
  ComScope com;
  Chain c = MakeChain();
  ComPtr<IBaseFilter> renderer;
  ASSERT_EQ(S_OK, CoCreateInstance(kClsidNullRenderer, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IBaseFilter, renderer.PutVoid()));
  ASSERT_EQ(S_OK, c.graph->AddFilter(renderer.Get(), L"Null Renderer"));
  ComPtr<IEnumPins> pins;
  ASSERT_EQ(S_OK, renderer->EnumPins(&pins));
  ComPtr<IPin> rendererIn;
  ASSERT_EQ(S_OK, pins->Next(1, &rendererIn, nullptr));
  EXPECT_TRUE(FAILED(c.graph->ConnectDirect(c.out.Get(), rendererIn.Get(), nullptr)));
  ComPtr<IPin> peer;
  EXPECT_EQ(VFW_E_NOT_CONNECTED, c.out->ConnectedTo(&peer));
}

TEST(Allocator, NullRendererGetsAMemoryAllocatorSizedByTheTransform) {
  ComScope com;
  Chain c = MakeChain();
  ComPtr<ITestTransformControl> control = ControlOf(c.transform.Get());
  ASSERT_EQ(S_OK, control->SetBufferRequest(5, 100000));
  ComPtr<IBaseFilter> renderer;
  ASSERT_EQ(S_OK, CoCreateInstance(kClsidNullRenderer, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IBaseFilter, renderer.PutVoid()));
  ASSERT_EQ(S_OK, c.graph->AddFilter(renderer.Get(), L"Null Renderer"));
  ComPtr<IEnumPins> pins;
  ASSERT_EQ(S_OK, renderer->EnumPins(&pins));
  ComPtr<IPin> rendererIn;
  ASSERT_EQ(S_OK, pins->Next(1, &rendererIn, nullptr));
  ComPtr<IMemInputPin> rendererMem;
  ASSERT_EQ(S_OK, rendererIn->QueryInterface(IID_IMemInputPin, rendererMem.PutVoid()));

  ComPtr<IMemAllocator> before;
  // The renderer has no allocator of its own to offer.
  EXPECT_TRUE(FAILED(rendererMem->GetAllocator(&before)));

  ASSERT_EQ(S_OK, c.graph->ConnectDirect(c.sourceOut.Get(), c.in.Get(), nullptr));
  ASSERT_EQ(S_OK, c.graph->ConnectDirect(c.out.Get(), rendererIn.Get(), nullptr));

  // After the connection it holds the one the transform handed over.
  ComPtr<IMemAllocator> handed;
  ASSERT_EQ(S_OK, rendererMem->GetAllocator(&handed));
  ALLOCATOR_PROPERTIES props = {};
  ASSERT_EQ(S_OK, handed->GetProperties(&props));
  EXPECT_EQ(5, props.cBuffers);
  EXPECT_EQ(100000, props.cbBuffer);

  // A request the allocator cannot grant fails the connection.
  ASSERT_EQ(S_OK, c.graph->Disconnect(c.out.Get()));
  ASSERT_EQ(S_OK, c.graph->Disconnect(rendererIn.Get()));
  ASSERT_EQ(S_OK, control->SetBufferRequest(0, 100000));
  EXPECT_TRUE(FAILED(c.graph->ConnectDirect(c.out.Get(), rendererIn.Get(), nullptr)));
  ComPtr<IPin> peer;
  EXPECT_EQ(VFW_E_NOT_CONNECTED, c.out->ConnectedTo(&peer));
  EXPECT_EQ(VFW_E_NOT_CONNECTED, rendererIn->ConnectedTo(&peer));
}

TEST(Allocator, DownstreamAllocatorIsUsedWhenOffered) {
  ComScope com;
  Chain c = MakeChain();
  CRecordingSink* sink = new CRecordingSink(true);
  ComPtr<IBaseFilter> sinkFilter(static_cast<IBaseFilter*>(sink));
  ASSERT_EQ(S_OK, c.graph->AddFilter(sinkFilter.Get(), L"Sink"));
  ComPtr<IMemAllocator> offered;
  ASSERT_EQ(S_OK, sink->Pin()->GetAllocator(&offered));

  ASSERT_EQ(S_OK, c.graph->ConnectDirect(c.sourceOut.Get(), c.in.Get(), nullptr));
  ASSERT_EQ(S_OK, c.graph->ConnectDirect(c.out.Get(), static_cast<IPin*>(sink->Pin()), nullptr));
  EXPECT_EQ(offered.Get(), sink->Pin()->CurrentAllocator());
  ALLOCATOR_PROPERTIES props = {};
  ASSERT_EQ(S_OK, offered->GetProperties(&props));
  EXPECT_EQ(3, props.cBuffers);
  EXPECT_EQ(65536, props.cbBuffer);
}

}  // namespace
}  // namespace dshow_test
