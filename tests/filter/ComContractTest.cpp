// ORBAProc.ax as the system sees it after regsvr32: the classes it registers,
// the filter mapper's data, and the COM contract of the filter object.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <cwchar>
#include <string>

#include "FilterTestKit.h"
#include "OuterUnknown.h"
#include "orba/Scoped.h"

namespace filter_test {
namespace {

const char kFilterClsid[] = "{A2F63A43-4E90-4D8D-85C2-26A799C950E3}";
const char kPageClsid[] = "{6C54B635-ECAA-4757-B3A2-638A285E23E1}";
// The legacy DirectShow filter category.
const char kLegacyCategory[] = "{083863F1-70DE-11D0-BD40-00A0C911CE86}";

std::string ReadClassesText(const std::string& key, const char* value) {
  char buf[1024] = {};
  DWORD size = sizeof buf;
  if (RegGetValueA(HKEY_CLASSES_ROOT, key.c_str(), value, RRF_RT_REG_SZ, nullptr, buf, &size) !=
      ERROR_SUCCESS) {
    return "<missing>";
  }
  return buf;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

TEST(ProcRegistration, BothClassesAreInProcessServersOfTheModuleWithThreadingModelBoth) {
  for (const auto& entry : {std::make_pair(kFilterClsid, "ORBA Proc"),
                            std::make_pair(kPageClsid, "ORBA Property Page")}) {
    const std::string key = std::string("CLSID\\") + entry.first;
    EXPECT_EQ(entry.second, ReadClassesText(key, nullptr)) << key;
    const std::string server = ReadClassesText(key + "\\InprocServer32", nullptr);
    EXPECT_EQ("orbaproc.ax", Lower(server.substr(server.find_last_of('\\') + 1))) << server;
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(server.c_str())) << server;
    EXPECT_EQ("Both", ReadClassesText(key + "\\InprocServer32", "ThreadingModel"));
  }
}

// The filter mapper's record, in the platform's binary layout.
struct MapperRecord {
  DWORD version = 0, merit = 0, pins = 0;
  struct Pin {
    DWORD flags = 0, instances = 0, types = 0, mediums = 0;
    GUID major = GUID_NULL, minor = GUID_NULL;
  };
  std::vector<Pin> pinList;
};

bool ParseFilterData(const std::vector<BYTE>& d, MapperRecord* out) {
  auto dword = [&](size_t at, DWORD* v) {
    if (at + 4 > d.size()) return false;
    std::memcpy(v, &d[at], 4);
    return true;
  };
  auto guid = [&](DWORD at, GUID* g) {
    if (at + sizeof(GUID) > d.size()) return false;
    std::memcpy(g, &d[at], sizeof(GUID));
    return true;
  };
  DWORD unused = 0;
  if (!dword(0, &out->version) || !dword(4, &out->merit) || !dword(8, &out->pins) ||
      !dword(12, &unused)) {
    return false;
  }
  size_t at = 16;
  for (DWORD i = 0; i < out->pins; ++i) {
    MapperRecord::Pin pin;
    DWORD category = 0;
    if (at + 4 > d.size() || d[at + 1] != 'p' || d[at + 2] != 'i') return false;
    if (!dword(at + 4, &pin.flags) || !dword(at + 8, &pin.instances) ||
        !dword(at + 12, &pin.types) || !dword(at + 16, &pin.mediums) ||
        !dword(at + 20, &category)) {
      return false;
    }
    at += 24 + (category ? 4 : 0);
    for (DWORD t = 0; t < pin.types; ++t) {
      DWORD major = 0, minor = 0;
      if (at + 4 > d.size() || d[at + 1] != 't' || d[at + 2] != 'y') return false;
      if (!dword(at + 8, &major) || !dword(at + 12, &minor)) return false;
      if (t == 0 && (!guid(major, &pin.major) || !guid(minor, &pin.minor))) return false;
      at += 16;
    }
    at += 4 * pin.mediums;
    out->pinList.push_back(pin);
  }
  return true;
}

TEST(ProcRegistration, FilterMapperHoldsNameMeritAndTwoVideoPins) {
  const std::string key = std::string("CLSID\\") + kLegacyCategory + "\\Instance\\" + kFilterClsid;
  EXPECT_EQ("ORBA Proc", ReadClassesText(key, "FriendlyName"));
  EXPECT_EQ(kFilterClsid, ReadClassesText(key, "CLSID"));

  std::vector<BYTE> data(4096);
  DWORD size = static_cast<DWORD>(data.size());
  ASSERT_EQ(ERROR_SUCCESS, RegGetValueA(HKEY_CLASSES_ROOT, key.c_str(), "FilterData",
                                        RRF_RT_REG_BINARY, nullptr, data.data(), &size));
  data.resize(size);
  MapperRecord record;
  ASSERT_TRUE(ParseFilterData(data, &record));
  EXPECT_EQ(0x200000u, record.merit);
  ASSERT_EQ(2u, record.pins);
  ASSERT_EQ(2u, record.pinList.size());
  // Flags: zero 0x1, rendered 0x2, many 0x4, output 0x8.
  EXPECT_EQ(0u, record.pinList[0].flags);
  EXPECT_EQ(0x8u, record.pinList[1].flags);
  for (const MapperRecord::Pin& pin : record.pinList) {
    EXPECT_EQ(1u, pin.types);
    EXPECT_EQ(0u, pin.mediums);
    EXPECT_EQ(MEDIATYPE_Video, pin.major);
    EXPECT_EQ(GUID_NULL, pin.minor);  // MEDIASUBTYPE_NULL
  }
}

bool MapperOffersProc(DWORD merit) {
  ComPtr<IFilterMapper2> mapper;
  EXPECT_EQ(S_OK, CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IFilterMapper2, mapper.PutVoid()));
  if (!mapper) return false;
  const GUID types[2] = {MEDIATYPE_Video, MEDIASUBTYPE_MJPG};
  ComPtr<IEnumMoniker> found;
  EXPECT_EQ(S_OK, mapper->EnumMatchingFilters(&found, 0, FALSE, merit, TRUE, 1, types, nullptr,
                                              nullptr, FALSE, TRUE, 1, types, nullptr, nullptr));
  if (!found) return false;
  ComPtr<IMoniker> moniker;
  ULONG fetched = 0;
  while (found->Next(1, &moniker, &fetched) == S_OK) {
    ComPtr<IPropertyBag> bag;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.PutVoid()))) continue;
    VARIANT v;
    VariantInit(&v);
    if (SUCCEEDED(bag->Read(L"CLSID", &v, nullptr)) && v.vt == VT_BSTR) {
      CLSID clsid;
      const bool ours = SUCCEEDED(CLSIDFromString(v.bstrVal, &clsid)) && clsid == CLSID_ORBAProc;
      VariantClear(&v);
      if (ours) return true;
    }
    VariantClear(&v);
  }
  return false;
}

TEST(ProcRegistration, MapperMatchesVideoInAndOutOnlyDownToItsMerit) {
  ComScope com;
  EXPECT_TRUE(MapperOffersProc(0x200000));
  EXPECT_FALSE(MapperOffersProc(0x200001));
}

// ---------------------------------------------------------------- object

TEST(ProcComContract, AnswersItsInterfacesAndNoOthers) {
  ComScope com;
  ComPtr<IBaseFilter> filter = CreateProc();
  ASSERT_TRUE(filter);
  struct Named {
    const IID& iid;
    const char* name;
  };
  const Named answered[] = {
      {IID_IUnknown, "IUnknown"},         {IID_IBaseFilter, "IBaseFilter"},
      {IID_IMediaFilter, "IMediaFilter"}, {IID_IPersist, "IPersist"},
      {IID_IORBAProc, "IORBAProc"},       {IID_ISpecifyPropertyPages, "ISpecifyPropertyPages"},
      {IID_IAMovieSetup, "IAMovieSetup"}, {IID_IORBAProcArea, "IORBAProcArea"}};
  for (const Named& i : answered) {
    SCOPED_TRACE(i.name);
    ComPtr<IUnknown> p;
    EXPECT_EQ(S_OK, filter->QueryInterface(i.iid, p.PutVoid()));
    EXPECT_TRUE(p);
  }
  const Named refused[] = {{IID_IPin, "IPin"},
                           {IID_IMemInputPin, "IMemInputPin"},
                           {IID_IPropertyPage, "IPropertyPage"},
                           {IID_IPersistStream, "IPersistStream"},
                           {IID_IQualityControl, "IQualityControl"},
                           {IID_IMediaSeeking, "IMediaSeeking"},
                           {IID_IClassFactory, "IClassFactory"}};
  for (const Named& i : refused) {
    SCOPED_TRACE(i.name);
    IUnknown* p = reinterpret_cast<IUnknown*>(0x1);
    EXPECT_EQ(E_NOINTERFACE, filter->QueryInterface(i.iid, reinterpret_cast<void**>(&p)));
    EXPECT_EQ(nullptr, p);
  }
  EXPECT_EQ(E_POINTER, filter->QueryInterface(IID_IORBAProc, nullptr));

  CLSID clsid = GUID_NULL;
  EXPECT_EQ(S_OK, filter->GetClassID(&clsid));
  EXPECT_EQ(CLSID_ORBAProc, clsid);
}

TEST(ProcComContract, EveryInterfaceIsTheSameObjectAndCountsReturnToTheStart) {
  ComScope com;
  ComPtr<IBaseFilter> filter = CreateProc();
  ASSERT_TRUE(filter);
  const ULONG start = RefCount(filter.Get());
  EXPECT_EQ(1u, start);
  {
    ComPtr<IORBAProc> proc = ProcOf(filter.Get());
    ComPtr<ISpecifyPropertyPages> pages;
    ASSERT_EQ(S_OK, proc->QueryInterface(IID_ISpecifyPropertyPages, pages.PutVoid()));
    ComPtr<IUnknown> a, b;
    ASSERT_EQ(S_OK, pages->QueryInterface(IID_IUnknown, a.PutVoid()));
    ASSERT_EQ(S_OK, filter->QueryInterface(IID_IUnknown, b.PutVoid()));
    EXPECT_EQ(a.Get(), b.Get());
    ComPtr<IBaseFilter> back;
    ASSERT_EQ(S_OK, proc->QueryInterface(IID_IBaseFilter, back.PutVoid()));
    EXPECT_EQ(filter.Get(), back.Get());
    EXPECT_EQ(start + 5, RefCount(filter.Get()));
    // Pins share the filter's count.
    ComPtr<IPin> in = PinOf(filter.Get(), L"In");
    EXPECT_EQ(start + 6, RefCount(filter.Get()));
  }
  EXPECT_EQ(start, RefCount(filter.Get()));
}

TEST(ProcComContract, AreaHandlesAreSetAndReadThroughTheirOwnInterface) {
  ComScope com;
  ComPtr<IBaseFilter> filter = CreateProc();
  ASSERT_TRUE(filter);
  ComPtr<IORBAProcArea> area;
  ASSERT_EQ(S_OK, filter->QueryInterface(IID_IORBAProcArea, area.PutVoid()));
  ComPtr<IUnknown> a, b;
  ASSERT_EQ(S_OK, area->QueryInterface(IID_IUnknown, a.PutVoid()));
  ASSERT_EQ(S_OK, filter->QueryInterface(IID_IUnknown, b.PutVoid()));
  EXPECT_EQ(a.Get(), b.Get()) << "one object";

  DWORD owner = 1, video = 1;
  ASSERT_EQ(S_OK, area->GetAreaHandles(&owner, &video));
  EXPECT_EQ(0u, owner);
  EXPECT_EQ(0u, video);
  EXPECT_EQ(E_POINTER, area->GetAreaHandles(nullptr, &video));
  EXPECT_EQ(E_POINTER, area->GetAreaHandles(&owner, nullptr));

  // Without handles an area cannot be asked for; with them, and no magnifier
  // running, the mode is taken.
  ComPtr<IORBAProc> proc = ProcOf(filter.Get());
  EXPECT_EQ(E_FAIL, proc->SetParams(3, 1.0, 1.0));
  ASSERT_EQ(S_OK, area->SetAreaHandles(0xFFFFFFF0u, 0x5678));
  ASSERT_EQ(S_OK, area->GetAreaHandles(&owner, &video));
  EXPECT_EQ(0xFFFFFFF0u, owner) << "all 32 bits, also in a 64-bit process";
  EXPECT_EQ(0x5678u, video);
  EXPECT_EQ(S_OK, proc->SetParams(3, 1.0, 1.0));
  long mode = 0;
  double dx = 0, dy = 0;
  ASSERT_EQ(S_OK, proc->GetParams(&mode, &dx, &dy));
  EXPECT_EQ(3, mode);
}

TEST(ProcComContract, AggregatedFilterDelegatesToItsOuterUnknown) {
  ComScope com;
  orba_test::OuterUnknown outer;
  IUnknown* notUnknown = nullptr;
  EXPECT_TRUE(FAILED(CoCreateInstance(CLSID_ORBAProc, &outer, CLSCTX_INPROC_SERVER, IID_IORBAProc,
                                      reinterpret_cast<void**>(&notUnknown))));
  EXPECT_EQ(nullptr, notUnknown);

  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ORBAProc, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                   reinterpret_cast<void**>(&outer.inner)));
  ASSERT_NE(nullptr, outer.inner);
  IORBAProc* proc = nullptr;
  ASSERT_EQ(S_OK, outer.inner->QueryInterface(IID_IORBAProc, reinterpret_cast<void**>(&proc)));
  // The inner object's interfaces count on the outer object.
  EXPECT_EQ(2u, outer.refs);
  outer.asked.clear();
  IBaseFilter* filter = nullptr;
  EXPECT_EQ(S_OK, proc->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&filter)));
  ASSERT_EQ(1u, outer.asked.size());
  EXPECT_EQ(IID_IBaseFilter, outer.asked[0]);
  long build = 0;
  EXPECT_EQ(S_OK, proc->GetBuildNumber(&build));
  EXPECT_EQ(590, build);
  filter->Release();
  proc->Release();
  EXPECT_EQ(1u, outer.refs);
  EXPECT_EQ(0u, outer.inner->Release());
}

TEST(ProcComContract, PinsAreXFormInAndXFormOut) {
  ComScope com;
  ComPtr<IBaseFilter> filter = CreateProc();
  ASSERT_TRUE(filter);
  ComPtr<IEnumPins> pins;
  ASSERT_EQ(S_OK, filter->EnumPins(&pins));
  const wchar_t* names[] = {L"XForm In", L"XForm Out"};
  const PIN_DIRECTION dirs[] = {PINDIR_INPUT, PINDIR_OUTPUT};
  for (int i = 0; i < 2; ++i) {
    ComPtr<IPin> pin;
    ULONG fetched = 0;
    ASSERT_EQ(S_OK, pins->Next(1, &pin, &fetched));
    PIN_INFO info = {};
    ASSERT_EQ(S_OK, pin->QueryPinInfo(&info));
    EXPECT_STREQ(names[i], info.achName);
    EXPECT_EQ(dirs[i], info.dir);
    EXPECT_EQ(filter.Get(), info.pFilter);
    if (info.pFilter) info.pFilter->Release();
  }
  ComPtr<IPin> none;
  ULONG fetched = 0;
  EXPECT_EQ(S_FALSE, pins->Next(1, &none, &fetched));
}

TEST(ProcComContract, ModuleCanUnloadOnlyWhenNothingIsAlive) {
  ComScope com;
  ComPtr<IBaseFilter> filter = CreateProc();
  ASSERT_TRUE(filter);
  HMODULE module = GetModuleHandleA("ORBAProc.ax");
  ASSERT_NE(nullptr, module);
  using CanUnload = HRESULT(STDAPICALLTYPE*)();
  auto canUnload = reinterpret_cast<CanUnload>(GetProcAddress(module, "DllCanUnloadNow"));
  ASSERT_NE(nullptr, canUnload);
  EXPECT_EQ(S_FALSE, canUnload());
  ComPtr<IUnknown> page;
  filter.Reset();
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ORBAProcProperties, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IUnknown, page.PutVoid()));
  EXPECT_EQ(S_FALSE, canUnload());
  page.Reset();
  EXPECT_EQ(S_OK, canUnload());

  // A locked class factory keeps the module as well.
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(S_OK, CoGetClassObject(CLSID_ORBAProc, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                   factory.PutVoid()));
  ASSERT_EQ(S_OK, factory->LockServer(TRUE));
  EXPECT_EQ(S_FALSE, canUnload());
  ASSERT_EQ(S_OK, factory->LockServer(FALSE));
  factory.Reset();
  EXPECT_EQ(S_OK, canUnload());
}

TEST(ProcComContract, AMovieSetupRegistersTheSameData) {
  ComScope com;
  ComPtr<IBaseFilter> filter = CreateProc();
  ASSERT_TRUE(filter);
  ComPtr<IAMovieSetup> setup;
  ASSERT_EQ(S_OK, filter->QueryInterface(IID_IAMovieSetup, setup.PutVoid()));
  // Registering again over the installed entry changes nothing visible.
  EXPECT_EQ(S_OK, setup->Register());
  const std::string key = std::string("CLSID\\") + kLegacyCategory + "\\Instance\\" + kFilterClsid;
  EXPECT_EQ("ORBA Proc", ReadClassesText(key, "FriendlyName"));
  EXPECT_TRUE(MapperOffersProc(0x200000));
}

}  // namespace
}  // namespace filter_test
