#include "diag/result_codes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(ResultCodes, SuccessValuesAndUnknown) {
  EXPECT_STREQ(resultCodeName(0), "S_OK");
  EXPECT_STREQ(resultCodeName(1), "S_FALSE");
  EXPECT_STREQ(resultCodeName(0x7FFFFFFFu), "Unknown");
  EXPECT_STREQ(resultCodeName(0xFFFFFFFFu), "Unknown");
  EXPECT_STREQ(resultCodeName(0x12345678u), "Unknown");
}

TEST(ResultCodes, Win32NumbersAndTheirHresults) {
  EXPECT_STREQ(resultCodeName(2), "ERROR_FILE_NOT_FOUND");
  EXPECT_STREQ(resultCodeName(3), "ERROR_PATH_NOT_FOUND");
  EXPECT_STREQ(resultCodeName(5), "ERROR_ACCESS_DENIED");
  EXPECT_STREQ(resultCodeName(0x80070002u), "ERROR_FILE_NOT_FOUND");
  EXPECT_STREQ(resultCodeName(0x80070003u), "ERROR_PATH_NOT_FOUND");
  EXPECT_STREQ(resultCodeName(1001), "ERROR_STACK_OVERFLOW");
  EXPECT_STREQ(resultCodeName(0x800703E9u), "ERROR_STACK_OVERFLOW");
  EXPECT_STREQ(resultCodeName(10054), "WSAECONNRESET");
  EXPECT_STREQ(resultCodeName(0x80072746u), "WSAECONNRESET");
  // The facility-7 forms that have names of their own keep them.
  EXPECT_STREQ(resultCodeName(0x8007000Eu), "E_OUTOFMEMORY");
  EXPECT_STREQ(resultCodeName(0x80070057u), "E_INVALIDARG");
  EXPECT_STREQ(resultCodeName(14), "ERROR_OUTOFMEMORY");
}

TEST(ResultCodes, ComAndDirectX) {
  EXPECT_STREQ(resultCodeName(0x80004005u), "E_FAIL");
  EXPECT_STREQ(resultCodeName(0x80004001u), "E_NOTIMPL");
  EXPECT_STREQ(resultCodeName(0x8876086Cu), "D3DERR_INVALIDCALL");
  EXPECT_STREQ(resultCodeName(0x8876086Au), "D3DERR_NOTAVAILABLE");
  EXPECT_STREQ(resultCodeName(0x88760B59u), "D3DXERR_INVALIDDATA");
  EXPECT_STREQ(resultCodeName(0x8876024Au), "DDERR_NODC");
  EXPECT_STREQ(resultCodeName(0x88780064u), "DSERR_BADFORMAT");
  EXPECT_STREQ(resultCodeName(0x800401F0u), "CO_E_NOTINITIALIZED");
  EXPECT_STREQ(resultCodeName(0x800401EEu), "MK_E_NOPREFIX");
  EXPECT_STREQ(resultCodeName(0x80040170u), "CACHE_E_NOCACHE_UPDATED");
  EXPECT_STREQ(resultCodeName(0x80041001u), "WBEM_E_FAILED");
  EXPECT_STREQ(resultCodeName(0x8004025Fu), "VFW_E_NOT_IN_GRAPH");
  EXPECT_STREQ(resultCodeName(0x8009030Eu), "SEC_E_NO_CREDENTIALS");
  EXPECT_STREQ(resultCodeName(0x80158000u + 0x540), "DPNERR_NOTREADY");
  EXPECT_STREQ(resultCodeName(0x8015001Eu), "DVERR_BUFFERTOOSMALL");  // from libwine-dev's dvoice.h
  EXPECT_STREQ(resultCodeName(0x8AC70001u), "XACTENGINE_E_ALREADYINITIALIZED");  // and xact.h
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
