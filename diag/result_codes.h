// Symbolic names of Windows and DirectX result codes for log lines.
#pragma once
#include <cstdint>

// "S_OK" for 0, "S_FALSE" for 1; a Win32 error number and its HRESULT form
// (0x8007xxxx) give the same name; anything unknown gives "Unknown".
const char* resultCodeName(uint32_t code);
