#include "diag/result_codes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

namespace {

// The telling rows: success values, Win32 numbers and their HRESULTs, COM
// and DirectX codes, and values with no name at all.
TEST(ResultCodes, TellingRowsAndUnknownValues) {
  const std::pair<uint32_t, const char*> rows[] = {
      {0, "S_OK"}, {1, "S_FALSE"}, {0x7FFFFFFFu, "Unknown"}, {0xFFFFFFFFu, "Unknown"}, {0x12345678u, "Unknown"},
      {2, "ERROR_FILE_NOT_FOUND"}, {0x80070002u, "ERROR_FILE_NOT_FOUND"}, {3, "ERROR_PATH_NOT_FOUND"},
      {0x80070003u, "ERROR_PATH_NOT_FOUND"}, {5, "ERROR_ACCESS_DENIED"}, {1001, "ERROR_STACK_OVERFLOW"},
      {0x800703E9u, "ERROR_STACK_OVERFLOW"}, {10054, "WSAECONNRESET"}, {0x80072746u, "WSAECONNRESET"},
      // The facility-7 forms that have names of their own keep them.
      {0x8007000Eu, "E_OUTOFMEMORY"}, {0x80070057u, "E_INVALIDARG"}, {14, "ERROR_OUTOFMEMORY"},
      {0x80004005u, "E_FAIL"}, {0x80004001u, "E_NOTIMPL"}, {0x8876086Cu, "D3DERR_INVALIDCALL"},
      {0x8876086Au, "D3DERR_NOTAVAILABLE"}, {0x88760B59u, "D3DXERR_INVALIDDATA"}, {0x8876024Au, "DDERR_NODC"},
      {0x88780064u, "DSERR_BADFORMAT"}, {0x800401F0u, "CO_E_NOTINITIALIZED"}, {0x800401EEu, "MK_E_NOPREFIX"},
      {0x80040170u, "CACHE_E_NOCACHE_UPDATED"}, {0x80041001u, "WBEM_E_FAILED"}, {0x8004025Fu, "VFW_E_NOT_IN_GRAPH"},
      {0x8009030Eu, "SEC_E_NO_CREDENTIALS"}, {0x80158000u + 0x540, "DPNERR_NOTREADY"},
      {0x8015001Eu, "DVERR_BUFFERTOOSMALL"},              // from libwine-dev's dvoice.h
      {0x8AC70001u, "XACTENGINE_E_ALREADYINITIALIZED"}};  // and xact.h
  for (const auto& [code, name] : rows) EXPECT_STREQ(resultCodeName(code), name) << std::hex << code;
}

TEST(ResultCodes, D3dxImageErrorsInOrder) {
  const char* names[] = {"D3DXERR_IFLERROR", "D3DXERR_FAILEDGETCAPS", "D3DXERR_CANNOTRESIZEFULLSCREEN",
                         "D3DXERR_CANNOTRESIZENONWINDOWED", "D3DXERR_FRONTBUFFERALREADYEXISTS",
                         "D3DXERR_FULLSCREENPRIMARYEXISTS", "D3DXERR_GETDCFAILED", "D3DXERR_BITBLTFAILED",
                         "D3DXERR_NOTEXTURE", "D3DXERR_MIPLEVELABSENT", "D3DXERR_SURFACENOTPALETTED",
                         "D3DXERR_ENUMFORMATSFAILED", "D3DXERR_COLORDEPTHTOOLOW", "D3DXERR_INVALIDFILEFORMAT",
                         "D3DXERR_NOMATCHFOUND"};
  for (uint32_t i = 0; i < 15; i++) EXPECT_STREQ(resultCodeName(0xC8770BCDu + i), names[i]) << i;
  EXPECT_STREQ(resultCodeName(0xC8770BCDu + 15), "Unknown");
}

TEST(ResultCodes, EveryWin32NameAlsoNamesItsHresult) {
  // For every plain Win32 number with a name, the 0x8007xxxx form has a name
  // too: the same one unless COM gave that HRESULT its own (E_ names).
  int checked = 0;
  for (uint32_t n = 2; n < 0x10000; n++) {
    const char* plain = resultCodeName(n);
    if (std::strcmp(plain, "Unknown") == 0) continue;
    const char* wrapped = resultCodeName(0x80070000u | n);
    ASSERT_STRNE(wrapped, "Unknown") << n;
    if (std::strcmp(plain, wrapped) != 0) {
      EXPECT_EQ(std::string(wrapped).rfind("E_", 0), 0u) << n << " " << wrapped;
    }
    checked++;
  }
  EXPECT_GT(checked, 1400);
}

}  // namespace
