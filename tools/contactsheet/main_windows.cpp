// tarn-contactsheet on Windows: the same pictures drawn by the Direct3D 9
// device, to be laid beside those of the OpenGL device.
//   tarn-contactsheet.exe [run folder] [output folder]
#include <filesystem>
#include <string>

#include "foundation/log.h"
#include "platform/d3d9/d3d9_device.h"
#include "platform/gpu/device.h"
#include "platform/window/window.h"
#include "tools/contactsheet/contactsheet.h"

int main(int argc, char** argv) {
  std::string run = argc > 1 ? argv[1] : "run";
  std::error_code ec;
  std::filesystem::path out = std::filesystem::absolute(argc > 2 ? argv[2] : "contactsheet", ec);
  std::filesystem::create_directories(out, ec);
  std::filesystem::current_path(run, ec);
  if (ec) {
    Log("tarn-contactsheet: no run folder \"%s\"\n", run.c_str());
    return 1;
  }
  // The device draws into its own back buffer of the sheet's size; the
  // window only gives it a place to present to.
  if (!StartWindowSystem("tarn contact sheet") ||
      !OpenWindow("tarn contact sheet", 0, 0, 800, 600)) {
    Log("tarn-contactsheet: no window: %s\n", WindowSystemError());
    return 1;
  }
  HRESULT hr = CreateWindowDevice(800, 600, &Device);
  if (FAILED(hr)) {
    Log("tarn-contactsheet: no Direct3D 9 device (0x%08X): %s\n", unsigned(hr), WindowSystemError());
    StopWindowSystem();
    return 1;
  }
  bool ok = contactsheet::TakeShots(out.string(), ReadD3D9BackBuffer);
  uint32_t left = Device->Release();
  Device = nullptr;
  StopWindowSystem();
  if (left != 0) Log("IDirect3DDevice9->Release Failed, reference count is %i\n", int(left));
  return ok && left == 0 ? 0 : 1;
}
