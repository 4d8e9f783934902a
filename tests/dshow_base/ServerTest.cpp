// The COM server plumbing of the base layer, seen through DShowBaseTest.ax: the
// class factory, DllCanUnloadNow and what registration writes.
#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "TestEnv.h"
#include "TestHelpers.h"
#include "orba/Scoped.h"

namespace dshow_test {
namespace {

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using CanUnloadFn = HRESULT(STDAPICALLTYPE*)();
using RegisterFn = HRESULT(STDAPICALLTYPE*)();

const wchar_t kLegacyCategory[] = L"{083863F1-70DE-11D0-BD40-00A0C911CE86}";

std::wstring GuidText(REFGUID guid) {
  WCHAR text[39];
  AMGuidToString(guid, text);
  return text;
}

// Reads a string value; nullopt-like empty flag when missing.
bool ReadString(HKEY root, const std::wstring& key, const wchar_t* value, std::wstring* out) {
  orba::ScopedHKEY k;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, k.Put()) != ERROR_SUCCESS) return false;
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(k.Get(), value, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
    return false;
  if (type != REG_SZ) return false;
  std::vector<wchar_t> buf(size / sizeof(wchar_t) + 1, L'\0');
  if (RegQueryValueExW(k.Get(), value, nullptr, &type, reinterpret_cast<BYTE*>(buf.data()),
                       &size) != ERROR_SUCCESS) {
    return false;
  }
  *out = buf.data();
  return true;
}

bool KeyExists(HKEY root, const std::wstring& key) {
  orba::ScopedHKEY k;
  return RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, k.Put()) == ERROR_SUCCESS;
}

std::wstring Widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }

class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    module_.Reset(LoadLibraryA(orba_test::BinPath(kBaseTestAxFile).c_str()));
    ASSERT_TRUE(module_);
    getClassObject_ =
        reinterpret_cast<GetClassObjectFn>(GetProcAddress(module_.Get(), "DllGetClassObject"));
    canUnload_ = reinterpret_cast<CanUnloadFn>(GetProcAddress(module_.Get(), "DllCanUnloadNow"));
    register_ = reinterpret_cast<RegisterFn>(GetProcAddress(module_.Get(), "DllRegisterServer"));
    unregister_ =
        reinterpret_cast<RegisterFn>(GetProcAddress(module_.Get(), "DllUnregisterServer"));
    ASSERT_TRUE(getClassObject_ && canUnload_ && register_ && unregister_);
  }
  void TearDown() override {
    // Later tests rely on the registration the prefix was prepared with.
    if (register_) {
      EXPECT_EQ(S_OK, register_());
    }
  }

  ComScope com_;
  orba::ScopedModule module_;
  GetClassObjectFn getClassObject_ = nullptr;
  CanUnloadFn canUnload_ = nullptr;
  RegisterFn register_ = nullptr;
  RegisterFn unregister_ = nullptr;
};

TEST_F(ServerTest, ClassFactoryServesTheTableOnly) {
  ComPtr<IClassFactory> factory;
  EXPECT_EQ(E_POINTER, getClassObject_(CLSID_BaseTestTransform, IID_IClassFactory, nullptr));
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE,
            getClassObject_(CLSID_FilterGraph, IID_IClassFactory, factory.PutVoid()));
  EXPECT_FALSE(factory);
  EXPECT_EQ(E_NOINTERFACE,
            getClassObject_(CLSID_BaseTestTransform, IID_IBaseFilter, factory.PutVoid()));
  ASSERT_EQ(S_OK, getClassObject_(CLSID_BaseTestTransform, IID_IClassFactory, factory.PutVoid()));

  ComPtr<IBaseFilter> filter;
  EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IBaseFilter, nullptr));
  EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IPropertyPage, filter.PutVoid()));
  EXPECT_FALSE(filter);
  ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IBaseFilter, filter.PutVoid()));
  EXPECT_EQ(1u, RefCount(filter.Get()));

  ComPtr<IClassFactory> pageFactory;
  ASSERT_EQ(S_OK, getClassObject_(CLSID_BaseTestPage, IID_IUnknown, pageFactory.PutVoid()));
  ComPtr<IPropertyPage> page;
  ASSERT_EQ(S_OK, pageFactory->CreateInstance(nullptr, IID_IPropertyPage, page.PutVoid()));
}

TEST_F(ServerTest, CanUnloadOnlyWithoutObjectsAndLocks) {
  EXPECT_EQ(S_OK, canUnload_());
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(S_OK, getClassObject_(CLSID_BaseTestTransform, IID_IClassFactory, factory.PutVoid()));
  EXPECT_EQ(S_FALSE, canUnload_());

  ComPtr<IBaseFilter> filter;
  ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IBaseFilter, filter.PutVoid()));
  ASSERT_EQ(S_OK, factory->LockServer(TRUE));
  factory = nullptr;
  EXPECT_EQ(S_FALSE, canUnload_());

  // An enumerator keeps its filter, and so the module, alive.
  ComPtr<IEnumPins> pins;
  ASSERT_EQ(S_OK, filter->EnumPins(&pins));
  filter = nullptr;
  EXPECT_EQ(S_FALSE, canUnload_());
  pins = nullptr;
  // Still locked.
  EXPECT_EQ(S_FALSE, canUnload_());

  ASSERT_EQ(S_OK, getClassObject_(CLSID_BaseTestTransform, IID_IClassFactory, factory.PutVoid()));
  ASSERT_EQ(S_OK, factory->LockServer(FALSE));
  factory = nullptr;
  EXPECT_EQ(S_OK, canUnload_());
}

TEST_F(ServerTest, RegistrationWritesServerAndFilterKeys) {
  const std::wstring filterKey = L"CLSID\\" + GuidText(CLSID_BaseTestTransform);
  const std::wstring pageKey = L"CLSID\\" + GuidText(CLSID_BaseTestPage);
  const std::wstring axPath = Widen(orba_test::BinPath(kBaseTestAxFile));

  std::wstring text;
  ASSERT_TRUE(ReadString(HKEY_CLASSES_ROOT, filterKey, nullptr, &text));
  EXPECT_EQ(kBaseTestTransformName, text);
  ASSERT_TRUE(ReadString(HKEY_CLASSES_ROOT, filterKey + L"\\InprocServer32", nullptr, &text));
  EXPECT_EQ(0, _wcsicmp(axPath.c_str(), text.c_str())) << axPath << L" vs " << text;
  ASSERT_TRUE(
      ReadString(HKEY_CLASSES_ROOT, filterKey + L"\\InprocServer32", L"ThreadingModel", &text));
  EXPECT_EQ(L"Both", text);

  ASSERT_TRUE(ReadString(HKEY_CLASSES_ROOT, pageKey, nullptr, &text));
  EXPECT_EQ(kBaseTestPageName, text);
  ASSERT_TRUE(
      ReadString(HKEY_CLASSES_ROOT, pageKey + L"\\InprocServer32", L"ThreadingModel", &text));
  EXPECT_EQ(L"Both", text);

  // The filter, and only the filter, is in the DirectShow filter category.
  const std::wstring instances = std::wstring(L"CLSID\\") + kLegacyCategory + L"\\Instance\\";
  const std::wstring filterInstance = instances + GuidText(CLSID_BaseTestTransform);
  ASSERT_TRUE(ReadString(HKEY_CLASSES_ROOT, filterInstance, L"FriendlyName", &text));
  EXPECT_EQ(kBaseTestTransformName, text);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, instances + GuidText(CLSID_BaseTestPage)));

  // The filter data carries the merit right after its version.
  orba::ScopedHKEY k;
  ASSERT_EQ(ERROR_SUCCESS,
            RegOpenKeyExW(HKEY_CLASSES_ROOT, filterInstance.c_str(), 0, KEY_READ, k.Put()));
  BYTE data[512];
  DWORD size = sizeof data;
  DWORD type = 0;
  ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(k.Get(), L"FilterData", nullptr, &type, data, &size));
  EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type);
  ASSERT_GE(size, 8u);
  DWORD merit = 0;
  std::memcpy(&merit, data + 4, sizeof merit);
  EXPECT_EQ(static_cast<DWORD>(MERIT_DO_NOT_USE), merit);
}

TEST_F(ServerTest, UnregisterRemovesEverythingAndRegisterRestoresIt) {
  const std::wstring filterKey = L"CLSID\\" + GuidText(CLSID_BaseTestTransform);
  const std::wstring pageKey = L"CLSID\\" + GuidText(CLSID_BaseTestPage);
  const std::wstring filterInstance = std::wstring(L"CLSID\\") + kLegacyCategory + L"\\Instance\\" +
                                      GuidText(CLSID_BaseTestTransform);

  ASSERT_EQ(S_OK, unregister_());
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, filterKey));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, pageKey));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, filterInstance));
  ComPtr<IBaseFilter> filter;
  EXPECT_EQ(REGDB_E_CLASSNOTREG,
            CoCreateInstance(CLSID_BaseTestTransform, nullptr, CLSCTX_INPROC_SERVER,
                             IID_IBaseFilter, filter.PutVoid()));
  // A second unregistration finds nothing to do and still succeeds.
  EXPECT_EQ(S_OK, unregister_());

  ASSERT_EQ(S_OK, register_());
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, filterKey + L"\\InprocServer32"));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, pageKey + L"\\InprocServer32"));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, filterInstance));
  EXPECT_EQ(S_OK, CoCreateInstance(CLSID_BaseTestTransform, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IBaseFilter, filter.PutVoid()));
}

TEST_F(ServerTest, MovieSetupRegistersTheFilterOnly) {
  const std::wstring filterKey = L"CLSID\\" + GuidText(CLSID_BaseTestTransform);
  const std::wstring filterInstance = std::wstring(L"CLSID\\") + kLegacyCategory + L"\\Instance\\" +
                                      GuidText(CLSID_BaseTestTransform);
  ComPtr<IBaseFilter> filter = CreateTestTransform();
  ComPtr<IAMovieSetup> setup;
  ASSERT_EQ(S_OK, filter->QueryInterface(IID_IAMovieSetup, setup.PutVoid()));
  ASSERT_EQ(S_OK, setup->Unregister());
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, filterInstance));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, filterKey));
  ASSERT_EQ(S_OK, setup->Register());
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, filterInstance));
}

}  // namespace
}  // namespace dshow_test
