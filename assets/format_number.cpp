// Exact binary-to-decimal conversion with big integers held as little-endian
// base-256 byte arrays (byte 0 least significant, no leading zero bytes).
#include "assets/format_number.h"

#include <cstring>
#include <string>

#include "foundation/array.h"

namespace {

typedef Array<uint8_t> Big;

void Push(Big& a, uint8_t b) { a.push(b); }

void SetSmall(Big& a, uint64_t v) {
  a.resize(0);
  while (v) {
    Push(a, uint8_t(v & 0xFF));
    v >>= 8;
  }
}

// a = a * 2^bits.
void ShiftLeft(Big& a, uint32_t bits) {
  if (a.count == 0) return;
  const uint32_t bytes = bits / 8, rest = bits % 8;
  const uint32_t old = a.count;
  a.resize(old + bytes + 1);
  for (uint32_t i = old + bytes + 1; i-- > 0;) {
    uint32_t v = 0;
    if (i >= bytes && i - bytes < old) v = uint32_t(a[i - bytes]) << rest;
    if (i >= bytes + 1 && i - bytes - 1 < old && rest) v |= a[i - bytes - 1] >> (8 - rest);
    a[i] = uint8_t(v);
  }
  while (a.count && a[a.count - 1] == 0) a.resize(a.count - 1);
}

void MulSmall(Big& a, uint32_t m) {
  uint32_t carry = 0;
  for (uint32_t i = 0; i < a.count; i++) {
    uint32_t v = a[i] * m + carry;
    a[i] = uint8_t(v);
    carry = v >> 8;
  }
  while (carry) {
    Push(a, uint8_t(carry));
    carry >>= 8;
  }
}

// <0, 0, >0 as a <, =, > b.
int Compare(const Big& a, const Big& b) {
  if (a.count != b.count) return a.count < b.count ? -1 : 1;
  for (uint32_t i = a.count; i-- > 0;) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  }
  return 0;
}

// a -= b, with a >= b.
void Subtract(Big& a, const Big& b) {
  int borrow = 0;
  for (uint32_t i = 0; i < a.count; i++) {
    int v = int(a[i]) - borrow - (i < b.count ? int(b[i]) : 0);
    borrow = v < 0;
    a[i] = uint8_t(v + (borrow ? 256 : 0));
  }
  while (a.count && a[a.count - 1] == 0) a.resize(a.count - 1);
}

// One decimal digit: R = R * 10, then how many times S fits into R.
uint8_t NextDigit(Big& R, const Big& S) {
  MulSmall(R, 10);
  uint8_t digit = 0;
  while (Compare(R, S) >= 0) {
    Subtract(R, S);
    digit++;
  }
  return digit;
}

void Append(Big& text, const char* s) {
  while (*s) Push(text, uint8_t(*s++));
}

void Convert(Big& text, uint64_t M, int32_t e, bool negative) {
  if (negative) Append(text, "-");
  Big R, S;
  if (e >= 0) {
    SetSmall(R, M);
    ShiftLeft(R, uint32_t(e));
    SetSmall(S, 1);
  } else {
    while ((M & 1) == 0 && e < 0) {
      M >>= 1;
      e++;
    }
    SetSmall(R, M);
    SetSmall(S, 1);
    ShiftLeft(S, uint32_t(-e));
  }

  uint32_t k = 0;
  while (Compare(S, R) <= 0) {
    MulSmall(S, 10);
    k++;
  }
  Big digits;
  for (uint32_t i = 0; i < k; i++) Push(digits, NextDigit(R, S));
  uint32_t fraction = 0;
  while (R.count && fraction < 6) {
    Push(digits, NextDigit(R, S));
    fraction++;
  }

  if (fraction == 6 && R.count) {
    Big twice(R);
    MulSmall(twice, 2);
    int c = Compare(twice, S);
    bool up = c > 0 || (c == 0 && (digits[digits.count - 1] & 1));
    if (up) {
      uint32_t i = digits.count;
      bool carry = true;
      while (carry && i > 0) {
        i--;
        if (digits[i] == 9) {
          digits[i] = 0;
        } else {
          digits[i]++;
          carry = false;
        }
      }
      if (carry) {
        // A new leading 1 joins the integer digits.
        digits.resize(digits.count + 1);
        std::memmove(&digits[1], &digits[0], digits.count - 1);
        digits[0] = 1;
        k++;
      }
    }
    while (fraction && digits[digits.count - 1] == 0) {
      digits.resize(digits.count - 1);
      fraction--;
    }
  }

  if (digits.count == 0) {
    Append(text, "0");
    return;
  }
  for (uint32_t i = 0; i < k; i++) Push(text, uint8_t('0' + digits[i]));
  if (fraction) {
    Push(text, '.');
    for (uint32_t i = k; i < digits.count; i++) Push(text, uint8_t('0' + digits[i]));
  }
}

}  // namespace

String FormatNumber(double value) {
  if (value == 0) value = 0.0;  // -0 prints as 0
  uint64_t bits;
  std::memcpy(&bits, &value, 8);
  const bool negative = bits >> 63;
  const uint32_t E = uint32_t(bits >> 52) & 0x7FF;
  const uint64_t F = bits & ((uint64_t(1) << 52) - 1);

  Big text;
  if (E == 2047) {
    if (negative) Append(text, "-");
    Append(text, F ? "#NAN" : "#INF");
  } else if (E == 0 && F == 0) {
    if (negative) Append(text, "-");
    Append(text, "0");
  } else if (E == 0) {
    Convert(text, F, -1074, negative);
  } else {
    Convert(text, F + (uint64_t(1) << 52), int32_t(E) - 1075, negative);
  }

  // A value below 1 has no integer digits: give it its leading 0.
  std::string out(reinterpret_cast<const char*>(text.data), text.count);
  if (!out.empty() && out[0] == '.') out.insert(0, "0");
  if (out.size() > 1 && out[0] == '-' && out[1] == '.') out.insert(1, "0");
  return String(out.c_str());
}
