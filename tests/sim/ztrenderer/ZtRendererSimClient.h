#pragma once
// Test-side control of the ZoomText renderer stand-in (ZtRendererSim.ax):
// registering it for the length of a test, setting its switches and reading
// its call log, from any process.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "RegistrySnapshot.h"
#include "ZtRendererSimProtocol.h"

namespace zt_renderer_sim {

// One log line: the process that wrote it, the slot (3 to 9) or event (100 on)
// and the arguments.
struct LogRecord {
  DWORD pid = 0;
  int slot = 0;
  std::vector<long> args;
};

// Whole lines only: a line still being written (no newline yet) or one that is
// not a record is left out.
std::vector<LogRecord> ParseLog(const std::string& text);

class ZtRendererLog {
 public:
  explicit ZtRendererLog(std::string path) : path_(std::move(path)) {}
  const std::string& Path() const { return path_; }

  // Every record, in the order written; empty when there is no file.
  std::vector<LogRecord> Read() const;
  // The calls on the control interfaces only (slots 3 to 9).
  std::vector<LogRecord> Calls() const;
  // The records of one slot or event.
  std::vector<LogRecord> Of(int slot) const;
  // Empties the log; true when it is empty afterwards.
  bool Clear() const;
  // Waits until the log holds at least count records of the slot or event.
  bool WaitFor(int slot, size_t count, DWORD timeoutMs) const;

 private:
  std::string path_;
};

// "%TEMP%\OrbaZtRendererSim.log", where the renderer logs without a LogFile switch.
std::string DefaultLogPath();

struct RendererOptions {
  bool compatibleRunning = true;
  bool enabled = true;
  int version = 2;  // 1: the version-1 interface only
};

// Writes the switches below HKCU that renderers created from now on read;
// logPath empty leaves the default log.
bool WriteOptions(const RendererOptions& options, const std::string& logPath);

// The stand-in's DllRegisterServer / DllUnregisterServer, with the module
// loaded by full path from the test program's folder.
HRESULT RegisterServer();
HRESULT UnregisterServer();
// HKCR\CLSID\{CLSID_ZT_CCTV_Renderer}\InprocServer32 exists.
bool IsServerRegistered();
// The server path registered for the class, or empty.
std::string RegisteredServerPath();

// Registers the stand-in and points it at a fresh log for as long as the object
// lives; afterwards it is unregistered, the switches are as they were before
// and the log is gone. Only one may exist at a time.
class ScopedZtRenderer {
 public:
  explicit ScopedZtRenderer(const RendererOptions& options = RendererOptions());
  ScopedZtRenderer(const ScopedZtRenderer&) = delete;
  ScopedZtRenderer& operator=(const ScopedZtRenderer&) = delete;
  ~ScopedZtRenderer();

  // Registration worked and the switches were written.
  bool ok() const { return SUCCEEDED(registerResult_) && optionsWritten_; }
  HRESULT registerResult() const { return registerResult_; }
  // For renderers created from now on.
  bool SetOptions(const RendererOptions& options);
  const ZtRendererLog& Log() const { return log_; }

 private:
  std::unique_ptr<orba_test::ScopedRegistryTree> savedOptions_;
  std::string logDir_;
  ZtRendererLog log_;
  HRESULT registerResult_ = E_FAIL;
  bool optionsWritten_ = false;
};

}  // namespace zt_renderer_sim
