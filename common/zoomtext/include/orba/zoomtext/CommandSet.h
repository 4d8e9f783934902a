#pragma once
// ZoomText's command library, "zxcmdset.dll" in ZoomText's program folder:
// loaded by its full path, its eight entry points bound by name, and one
// operation per ZoomText command, each gated by the running ZoomText's version
// while the version check is on.
#include <windows.h>

#include <cstddef>

#include "orba/Scoped.h"

namespace zoomtext {

// The commands' parameter: 32 bits in the shipped 32-bit product, and wide
// enough for the address of a block or cell on x86_64.
using ZxParam = INT_PTR;

class ZxCmdSetInterface {
 public:
  ZxCmdSetInterface() = default;
  ZxCmdSetInterface(const ZxCmdSetInterface&) = delete;
  ZxCmdSetInterface& operator=(const ZxCmdSetInterface&) = delete;
  virtual ~ZxCmdSetInterface();

  virtual int Initialize(const wchar_t* folder);
  virtual int ZxCommand(int code);
  virtual int ZxCommandApi(int code, ZxParam parameter);
  virtual int ZoomTextVersionRunning();
  virtual int ZoomTextIsMagnifying();
  virtual int ZoomTextStart(const wchar_t* text);
  virtual void ZxCommandSetPower(int value);
  virtual int ZoomTextExit();
  virtual int ZoomTextTestSpeech(int a, int b, int c, int d);
  virtual int Start();
  virtual int Exit(ZxParam parameter);
  virtual int ToggleEnable();
  virtual int IncreasePower();
  virtual int DecreasePower();
  virtual int ToggleSpeech();
  virtual int IncreaseSpeechRate();
  virtual int DecreaseSpeechRate();
  virtual int AppReader(ZxParam parameter);
  virtual int DocReader(ZxParam parameter);
  virtual int DesktopFinder();
  virtual int WebFinder();
  virtual int TextFinder();
  virtual int ToggleUI();
  virtual int ToggleColorFilter();
  virtual int SendCommand41();
  virtual int SendCommand54();
  virtual int SendStateDependentCommand();
  virtual int SendCommand(int code, ZxParam parameter);

  void SetVersionCheck(int flag) { versionCheck_ = flag; }
  const wchar_t* LibraryPath() const { return libraryPath_; }

 private:
  enum class Gate { kRunning, kVersion8, kVersion9 };
  bool Passes(Gate gate);
  // Sends code through ZxCommandApi after the gate; the operations' usual 0.
  int Gated(Gate gate, int code, ZxParam parameter = 0);
  int Finder(int featureBit, int code);

  using CommandFn = int(WINAPI*)(int);
  using CommandApiFn = int(WINAPI*)(int, ZxParam);
  using NoArgFn = int(WINAPI*)();
  using StartFn = int(WINAPI*)(const wchar_t*);
  using PowerFn = void(WINAPI*)(int);
  using SpeechFn = int(WINAPI*)(int, int, int, int);

  wchar_t libraryPath_[260] = {};
  orba::ScopedModule library_;
  int versionCheck_ = 1;
  CommandFn command_ = nullptr;
  CommandApiFn commandApi_ = nullptr;
  NoArgFn versionRunning_ = nullptr;
  NoArgFn isMagnifying_ = nullptr;
  StartFn start_ = nullptr;
  PowerFn setPower_ = nullptr;
  NoArgFn exit_ = nullptr;
  SpeechFn testSpeech_ = nullptr;
};

struct ZoomTextCommandPair {
  int number;  // the client's command number
  int code;    // ZoomText's command code
};
// The client's numbers and ZoomText's codes, ended by number 0; first match wins.
extern const ZoomTextCommandPair ZoomTextCommandTable[];
constexpr size_t kZoomTextCommandPairs = 81;
// False when the number has no pair.
bool LookUpZoomTextCommand(int number, int* code);

}  // namespace zoomtext
