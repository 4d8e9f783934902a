#include "orba/zoomtext/CommandSet.h"

#include "orba/Text.h"
#include "orba/zoomtext/Detection.h"

namespace zoomtext {

namespace {

template <class Fn>
bool Bind(HMODULE library, const char* name, Fn* entry) {
  *entry = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library, name)));
  return *entry != nullptr;
}

}  // namespace

const ZoomTextCommandPair ZoomTextCommandTable[] = {
    {1, 0},     {2, 40},    {3, 370},   {4, 37},    {5, 36},    {6, 39},    {7, 54},    {8, 41},
    {9, 80},    {10, 64},   {11, 368},  {12, 32},   {13, 73},   {14, 72},   {15, 74},   {16, 58},
    {18, 204},  {19, 1018}, {20, 214},  {21, 206},  {22, 314},  {23, 42},   {24, 53},   {25, 0},
    {26, 215},  {27, 217},  {28, 224},  {29, 216},  {30, 218},  {31, 220},  {32, 219},  {33, 221},
    {34, 363},  {35, 362},  {36, 351},  {37, 352},  {38, 353},  {39, 354},  {40, 355},  {41, 356},
    {42, 357},  {43, 358},  {44, 359},  {45, 360},  {46, 60},   {47, 71},   {48, 38},   {49, 63},
    {50, 43},   {51, 44},   {52, 45},   {53, 46},   {54, 47},   {55, 48},   {56, 49},   {57, 50},
    {58, 51},   {59, 52},   {60, 69},   {61, 68},   {62, 1004}, {63, 6},    {64, 84},   {65, 66},
    {66, 8},    {67, 9},    {68, 65},   {69, 78},   {70, 3},    {71, 2},    {72, 76},   {74, 1023},
    {81, 1033}, {75, 1024}, {76, 1025}, {77, 1026}, {78, 1030}, {79, 1031}, {80, 1032}, {82, 1036},
    {83, 1037}, {0, 0},
};
static_assert(sizeof ZoomTextCommandTable / sizeof ZoomTextCommandTable[0] ==
                  kZoomTextCommandPairs + 1,
              "81 pairs and the end mark");

bool LookUpZoomTextCommand(int number, int* code) {
  for (const ZoomTextCommandPair* pair = ZoomTextCommandTable; pair->number != 0; ++pair) {
    if (pair->number == number) {
      if (code) *code = pair->code;
      return true;
    }
  }
  return false;
}

ZxCmdSetInterface::~ZxCmdSetInterface() {
  libraryPath_[0] = L'\0';
  command_ = nullptr;
  commandApi_ = nullptr;
  versionRunning_ = nullptr;
  isMagnifying_ = nullptr;
  start_ = nullptr;
  setPower_ = nullptr;
  exit_ = nullptr;
  testSpeech_ = nullptr;
  library_.Reset();
}

int ZxCmdSetInterface::Initialize(const wchar_t* folder) {
  if (!folder) return kNoLibrary;
  wchar_t copy[260];
  if (!orba::CopyBounded(copy, 260, folder)) return kNoLibrary;
  const size_t len = wcslen(copy);
  if (len > 0 && copy[len - 1] == L'\\') copy[len - 1] = L'\0';
  if (!orba::FormatBoundedW(libraryPath_, 260, L"%ls\\%ls", copy, L"zxcmdset.dll")) {
    return kNoLibrary;
  }
  library_.Reset(orba::LoadLibraryByFullPath(libraryPath_));
  if (!library_) return kNoLibrary;

  const HMODULE lib = library_.Get();
  // Every entry is looked up, so that the ones found still work when one is missing.
  bool all = Bind(lib, "_ZxCommand@4", &command_);
  all &= Bind(lib, "_ZxCommandApi@8", &commandApi_);
  all &= Bind(lib, "_ZoomTextVersionRunning@0", &versionRunning_);
  all &= Bind(lib, "_ZoomTextIsMagnifying@0", &isMagnifying_);
  all &= Bind(lib, "_ZoomTextStart@4", &start_);
  all &= Bind(lib, "_ZxCommandSetPower@4", &setPower_);
  all &= Bind(lib, "_ZoomTextExit@0", &exit_);
  all &= Bind(lib, "_ZoomTextTestSpeech@16", &testSpeech_);
  return all ? kPathOk : kNoLibrary;
}

int ZxCmdSetInterface::ZxCommand(int code) { return command_ ? command_(code) : 1; }
int ZxCmdSetInterface::ZxCommandApi(int code, ZxParam parameter) {
  return commandApi_ ? commandApi_(code, parameter) : kNoLibrary;
}
int ZxCmdSetInterface::ZoomTextVersionRunning() {
  return versionRunning_ ? versionRunning_() : kNoLibrary;
}
int ZxCmdSetInterface::ZoomTextIsMagnifying() { return isMagnifying_ ? isMagnifying_() : 0; }
int ZxCmdSetInterface::ZoomTextStart(const wchar_t* text) { return start_ ? start_(text) : 0; }
void ZxCmdSetInterface::ZxCommandSetPower(int value) {
  if (setPower_) setPower_(value);
}
int ZxCmdSetInterface::ZoomTextExit() { return exit_ ? exit_() : 0; }
int ZxCmdSetInterface::ZoomTextTestSpeech(int a, int b, int c, int d) {
  return testSpeech_ ? testSpeech_(a, b, c, d) : 0;
}

bool ZxCmdSetInterface::Passes(Gate gate) {
  if (!versionCheck_) return true;
  const int running = ZoomTextVersionRunning();
  switch (gate) {
    case Gate::kRunning:
      return running > 0;
    case Gate::kVersion8:
      return running >= 8;
    case Gate::kVersion9:
      return running > 8;
  }
  return false;
}

int ZxCmdSetInterface::Gated(Gate gate, int code, ZxParam parameter) {
  if (!Passes(gate)) return 1;
  ZxCommandApi(code, parameter);
  return 0;
}

int ZxCmdSetInterface::Finder(int featureBit, int code) {
  if (!Passes(Gate::kVersion9)) return 1;
  const int features = ZxCommandApi(1022, 0);
  if (!(features & featureBit)) return 1;
  ZxCommandApi(code, 0);
  return 0;
}

int ZxCmdSetInterface::Start() {
  if (versionCheck_ && ZoomTextVersionRunning() != 0) return 1;
  return ZoomTextStart(L"") ? 0 : 1;
}

int ZxCmdSetInterface::Exit(ZxParam parameter) { return Gated(Gate::kRunning, 206, parameter); }

int ZxCmdSetInterface::ToggleEnable() {
  if (!Passes(Gate::kRunning)) return 1;
  ZxCommandApi(ZxCommandApi(214, 0) ? 35 : 34, 0);
  return 0;
}

int ZxCmdSetInterface::IncreasePower() { return Gated(Gate::kRunning, 36); }
int ZxCmdSetInterface::DecreasePower() { return Gated(Gate::kRunning, 37); }
int ZxCmdSetInterface::ToggleSpeech() { return Gated(Gate::kRunning, 32); }
int ZxCmdSetInterface::IncreaseSpeechRate() { return Gated(Gate::kRunning, 72); }
int ZxCmdSetInterface::DecreaseSpeechRate() { return Gated(Gate::kRunning, 73); }
int ZxCmdSetInterface::AppReader(ZxParam parameter) {
  return Gated(Gate::kVersion8, 74, parameter);
}
int ZxCmdSetInterface::DocReader(ZxParam parameter) { return Gated(Gate::kRunning, 58, parameter); }
int ZxCmdSetInterface::DesktopFinder() { return Finder(1, 80); }
int ZxCmdSetInterface::WebFinder() { return Finder(2, 64); }
int ZxCmdSetInterface::TextFinder() { return Finder(4, 368); }
int ZxCmdSetInterface::ToggleUI() { return Gated(Gate::kVersion9, 370); }
int ZxCmdSetInterface::ToggleColorFilter() { return Gated(Gate::kVersion9, 39); }
int ZxCmdSetInterface::SendCommand41() { return Gated(Gate::kVersion9, 41); }
int ZxCmdSetInterface::SendCommand54() { return Gated(Gate::kVersion9, 54); }

int ZxCmdSetInterface::SendStateDependentCommand() {
  if (!Passes(Gate::kVersion9)) return 1;
  const int state = ZxCommandApi(225, 0);
  if (state == 0) return 1;
  if (state == 5 || state == 6 || state == 7) return ZxCommandApi(53, 0);
  if (state == kNoLibrary) return kNoLibrary;
  return ZxCommandApi(221, 0);
}

int ZxCmdSetInterface::SendCommand(int code, ZxParam parameter) {
  if (!Passes(Gate::kVersion9)) return 1;
  return ZxCommandApi(code, parameter);
}

}  // namespace zoomtext
