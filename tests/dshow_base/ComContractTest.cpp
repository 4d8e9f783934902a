// The COM contract of a filter built on the base layer: interfaces, reference
// counts, aggregation, states, the reference clock and the graph membership.
#include <gtest/gtest.h>

#include "OuterUnknown.h"
#include "TestHelpers.h"

namespace dshow_test {
namespace {

struct InterfaceCase {
  REFIID iid;
  bool expected;
  const char* name;
};

void CheckInterfaces(IUnknown* object, std::initializer_list<InterfaceCase> cases) {
  for (const InterfaceCase& c : cases) {
    ComPtr<IUnknown> out;
    const HRESULT hr = object->QueryInterface(c.iid, out.PutVoid());
    if (c.expected) {
      EXPECT_EQ(S_OK, hr) << c.name;
      EXPECT_TRUE(out) << c.name;
    } else {
      EXPECT_EQ(E_NOINTERFACE, hr) << c.name;
      EXPECT_FALSE(out) << c.name;
    }
  }
}

TEST(FilterContract, AnswersExactlyItsInterfaces) {
  ComScope com;
  ComPtr<IBaseFilter> filter = CreateTestTransform();
  ASSERT_TRUE(filter);
  CheckInterfaces(filter.Get(), {{IID_IUnknown, true, "IUnknown"},
                                 {IID_IPersist, true, "IPersist"},
                                 {IID_IMediaFilter, true, "IMediaFilter"},
                                 {IID_IBaseFilter, true, "IBaseFilter"},
                                 {IID_IAMovieSetup, true, "IAMovieSetup"},
                                 {IID_IPin, false, "IPin"},
                                 {IID_IMemInputPin, false, "IMemInputPin"},
                                 {IID_IKsPropertySet, false, "IKsPropertySet"},
                                 {IID_IQualityControl, false, "IQualityControl"},
                                 {IID_IMediaSeeking, false, "IMediaSeeking"}});
  ComPtr<IUnknown> null;
  EXPECT_EQ(E_POINTER, filter->QueryInterface(IID_IBaseFilter, nullptr));

  ComPtr<IPin> in = PinOf(filter.Get(), L"In");
  ComPtr<IPin> out = PinOf(filter.Get(), L"Out");
  ASSERT_TRUE(in && out);
  CheckInterfaces(in.Get(), {{IID_IUnknown, true, "in IUnknown"},
                             {IID_IPin, true, "in IPin"},
                             {IID_IMemInputPin, true, "in IMemInputPin"},
                             {IID_IQualityControl, true, "in IQualityControl"},
                             {IID_IBaseFilter, false, "in IBaseFilter"},
                             {IID_IAMStreamConfig, false, "in IAMStreamConfig"}});
  CheckInterfaces(out.Get(), {{IID_IUnknown, true, "out IUnknown"},
                              {IID_IPin, true, "out IPin"},
                              {IID_IQualityControl, true, "out IQualityControl"},
                              {IID_IMemInputPin, false, "out IMemInputPin"},
                              {IID_IBaseFilter, false, "out IBaseFilter"}});
}

TEST(FilterContract, IUnknownOfEveryInterfaceIsTheSameObject) {
  ComScope com;
  ComPtr<IBaseFilter> filter = CreateTestTransform();
  ComPtr<IUnknown> a, b;
  ASSERT_EQ(S_OK, filter->QueryInterface(IID_IUnknown, a.PutVoid()));
  ComPtr<IMediaFilter> media;
  ASSERT_EQ(S_OK, filter->QueryInterface(IID_IMediaFilter, media.PutVoid()));
  ASSERT_EQ(S_OK, media->QueryInterface(IID_IUnknown, b.PutVoid()));
  EXPECT_EQ(a.Get(), b.Get());
}

TEST(FilterContract, ReferenceCountsReturnToTheirStart) {
  ComScope com;
  ComPtr<IBaseFilter> filter = CreateTestTransform();
  ASSERT_TRUE(filter);
  const ULONG start = RefCount(filter.Get());
  EXPECT_EQ(1u, start);
  {
    ComPtr<IMediaFilter> media;
    ASSERT_EQ(S_OK, filter->QueryInterface(IID_IMediaFilter, media.PutVoid()));
    EXPECT_EQ(start + 1, RefCount(filter.Get()));
    // Pins share the filter's count: a pin reference keeps the filter alive.
    ComPtr<IPin> pin = PinOf(filter.Get(), L"In");
    EXPECT_EQ(start + 2, RefCount(filter.Get()));
    EXPECT_EQ(start + 2, RefCount(pin.Get()));
    ComPtr<IEnumPins> pins;
    ASSERT_EQ(S_OK, filter->EnumPins(&pins));
    EXPECT_EQ(start + 3, RefCount(filter.Get()));
    ComPtr<IEnumMediaTypes> types;
    ASSERT_EQ(S_OK, pin->EnumMediaTypes(&types));
    EXPECT_EQ(start + 4, RefCount(filter.Get()));
    PIN_INFO info = {};
    ASSERT_EQ(S_OK, pin->QueryPinInfo(&info));
    EXPECT_EQ(static_cast<IBaseFilter*>(filter.Get()), info.pFilter);
    EXPECT_EQ(start + 5, RefCount(filter.Get()));
    info.pFilter->Release();
  }
  EXPECT_EQ(start, RefCount(filter.Get()));
}

TEST(FilterContract, AggregatedFilterDelegatesToTheOuterUnknown) {
  ComScope com;
  orba_test::OuterUnknown outer;
  ComPtr<IBaseFilter> bad;
  // Only the inner unknown may be asked for when aggregating.
  EXPECT_EQ(E_NOINTERFACE, CoCreateInstance(CLSID_BaseTestTransform, &outer, CLSCTX_INPROC_SERVER,
                                            IID_IBaseFilter, bad.PutVoid()));
  EXPECT_FALSE(bad);

  IUnknown* inner = nullptr;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_BaseTestTransform, &outer, CLSCTX_INPROC_SERVER,
                                   IID_IUnknown, reinterpret_cast<void**>(&inner)));
  ASSERT_NE(static_cast<IUnknown*>(&outer), inner);
  EXPECT_EQ(1u, outer.refs);
  outer.inner = inner;

  // The inner unknown answers for itself and counts its own references.
  IUnknown* innerAgain = nullptr;
  ASSERT_EQ(S_OK, inner->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&innerAgain)));
  EXPECT_EQ(inner, innerAgain);
  EXPECT_EQ(1u, innerAgain->Release());
  EXPECT_EQ(1u, outer.refs);

  // Interfaces obtained from the inner unknown count on the outer one.
  IBaseFilter* filter = nullptr;
  ASSERT_EQ(S_OK, inner->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&filter)));
  EXPECT_EQ(2u, outer.refs);
  // ...and their QueryInterface goes to the outer unknown.
  IUnknown* viaFilter = nullptr;
  const size_t queriesBefore = outer.asked.size();
  ASSERT_EQ(S_OK, filter->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&viaFilter)));
  EXPECT_EQ(static_cast<IUnknown*>(&outer), viaFilter);
  EXPECT_EQ(queriesBefore + 1, outer.asked.size());
  viaFilter->Release();
  filter->Release();
  EXPECT_EQ(1u, outer.refs);

  EXPECT_EQ(0u, inner->Release());
}

TEST(FilterContract, StatesFollowStopPauseRun) {
  ComScope com;
  ComPtr<IBaseFilter> filter = CreateTestTransform();
  FILTER_STATE state = State_Running;
  EXPECT_EQ(E_POINTER, filter->GetState(0, nullptr));
  ASSERT_EQ(S_OK, filter->GetState(0, &state));
  EXPECT_EQ(State_Stopped, state);

  EXPECT_EQ(S_OK, filter->Pause());
  ASSERT_EQ(S_OK, filter->GetState(0, &state));
  EXPECT_EQ(State_Paused, state);
  EXPECT_EQ(S_OK, filter->Run(0));
  ASSERT_EQ(S_OK, filter->GetState(0, &state));
  EXPECT_EQ(State_Running, state);
  EXPECT_EQ(S_OK, filter->Pause());
  ASSERT_EQ(S_OK, filter->GetState(0, &state));
  EXPECT_EQ(State_Paused, state);
  EXPECT_EQ(S_OK, filter->Stop());
  ASSERT_EQ(S_OK, filter->GetState(0, &state));
  EXPECT_EQ(State_Stopped, state);
  // Run from stopped goes through pause.
  EXPECT_EQ(S_OK, filter->Run(0));
  ASSERT_EQ(S_OK, filter->GetState(0, &state));
  EXPECT_EQ(State_Running, state);
  EXPECT_EQ(S_OK, filter->Stop());

  // Unconnected, the transform never starts streaming.
  LONG transforms = -1, starts = -1, stops = -1;
  ASSERT_EQ(S_OK, ControlOf(filter.Get())->GetCounts(&transforms, &starts, &stops));
  EXPECT_EQ(0, starts);
  EXPECT_EQ(0, stops);
}

TEST(FilterContract, SyncSourceIsHeldAndGivenBack) {
  ComScope com;
  ComPtr<IBaseFilter> filter = CreateTestTransform();
  ComPtr<IReferenceClock> clock;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SystemClock, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IReferenceClock, clock.PutVoid()));
  const ULONG start = RefCount(clock.Get());

  ComPtr<IReferenceClock> got;
  EXPECT_EQ(E_POINTER, filter->GetSyncSource(nullptr));
  ASSERT_EQ(S_OK, filter->GetSyncSource(&got));
  EXPECT_FALSE(got);

  ASSERT_EQ(S_OK, filter->SetSyncSource(clock.Get()));
  EXPECT_EQ(start + 1, RefCount(clock.Get()));
  ASSERT_EQ(S_OK, filter->GetSyncSource(&got));
  EXPECT_EQ(clock.Get(), got.Get());
  EXPECT_EQ(start + 2, RefCount(clock.Get()));
  got = nullptr;

  ASSERT_EQ(S_OK, filter->SetSyncSource(nullptr));
  EXPECT_EQ(start, RefCount(clock.Get()));
  ASSERT_EQ(S_OK, filter->GetSyncSource(&got));
  EXPECT_FALSE(got);

  // The filter gives its clock back when it goes away.
  ASSERT_EQ(S_OK, filter->SetSyncSource(clock.Get()));
  filter = nullptr;
  EXPECT_EQ(start, RefCount(clock.Get()));
}

TEST(FilterContract, GraphMembershipAndFilterInfo) {
  ComScope com;
  ComPtr<IBaseFilter> filter = CreateTestTransform();
  CLSID clsid = GUID_NULL;
  EXPECT_EQ(E_POINTER, filter->GetClassID(nullptr));
  ASSERT_EQ(S_OK, filter->GetClassID(&clsid));
  EXPECT_EQ(CLSID_BaseTestTransform, clsid);

  FILTER_INFO info = {};
  ASSERT_EQ(S_OK, filter->QueryFilterInfo(&info));
  EXPECT_STREQ(L"", info.achName);
  EXPECT_EQ(nullptr, info.pGraph);

  ComPtr<IGraphBuilder> graph = CreateGraph();
  const ULONG graphRefs = RefCount(graph.Get());
  ASSERT_EQ(S_OK, graph->AddFilter(filter.Get(), L"My transform"));
  // The filter does not keep its graph alive.
  ASSERT_EQ(S_OK, filter->QueryFilterInfo(&info));
  EXPECT_STREQ(L"My transform", info.achName);
  ASSERT_TRUE(info.pGraph);
  EXPECT_EQ(graphRefs + 1, RefCount(graph.Get()));
  info.pGraph->Release();
  EXPECT_EQ(graphRefs, RefCount(graph.Get()));

  LPWSTR vendor = reinterpret_cast<LPWSTR>(1);
  EXPECT_EQ(E_NOTIMPL, filter->QueryVendorInfo(&vendor));

  ASSERT_EQ(S_OK, graph->RemoveFilter(filter.Get()));
  ASSERT_EQ(S_OK, filter->QueryFilterInfo(&info));
  EXPECT_EQ(nullptr, info.pGraph);
  EXPECT_STREQ(L"", info.achName);
}

TEST(FilterContract, FindPinUsesThePinIds) {
  ComScope com;
  ComPtr<IBaseFilter> filter = CreateTestTransform();
  ComPtr<IPin> pin;
  EXPECT_EQ(VFW_E_NOT_FOUND, filter->FindPin(L"XForm In", &pin));
  EXPECT_FALSE(pin);
  EXPECT_EQ(E_POINTER, filter->FindPin(L"In", nullptr));
  ASSERT_EQ(S_OK, filter->FindPin(L"In", &pin));
  EXPECT_EQ(L"XForm In", PinName(pin.Get()));
  LPWSTR id = nullptr;
  ASSERT_EQ(S_OK, pin->QueryId(&id));
  EXPECT_STREQ(L"In", id);
  CoTaskMemFree(id);
  PIN_DIRECTION dir = PINDIR_OUTPUT;
  ASSERT_EQ(S_OK, pin->QueryDirection(&dir));
  EXPECT_EQ(PINDIR_INPUT, dir);

  ASSERT_EQ(S_OK, filter->FindPin(L"Out", &pin));
  EXPECT_EQ(L"XForm Out", PinName(pin.Get()));
  ASSERT_EQ(S_OK, pin->QueryId(&id));
  EXPECT_STREQ(L"Out", id);
  CoTaskMemFree(id);
  ASSERT_EQ(S_OK, pin->QueryDirection(&dir));
  EXPECT_EQ(PINDIR_OUTPUT, dir);
}

}  // namespace
}  // namespace dshow_test
