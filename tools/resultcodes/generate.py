#!/usr/bin/env python3
"""Builds diag/result_code_table.inc: one name per 32-bit result code, sorted.

Reads the Windows SDK headers (as shipped by MinGW-w64), evaluates the macros
they use to spell result codes (_HRESULT_TYPEDEF_, MAKE_HRESULT, MAKE_D3DHRESULT,
MAKE_DDHRESULT, HRESULT_FROM_WIN32, ...) and enum constants, keeps the names
of the result-code families the console reports, and settles codes that carry
several names:

  0 is S_OK and 1 is S_FALSE;
  a name spelled with its own number in winerror.h comes first;
  a Win32 error number names its HRESULT form 0x8007xxxx too, unless
  winerror.h gives that HRESULT a name of its own (E_OUTOFMEMORY);
  then names spelled with their own number in the DirectX and other headers;
  names defined as another name (D3D_OK, DDERR_OUTOFMEMORY, ...) come last.
  Within one rank the first definition in header order wins.

Packages it reads: mingw-w64-common (the Windows SDK headers, INCLUDE_DIR,
/usr/share/mingw-w64/include) and libwine-dev (--extra-include,
/usr/include/wine/wine/windows), whose DirectPlay Voice, XACT, D3DX and
DirectInput headers hold families MinGW-w64 lacks. Only the headers in
EXTRA_HEADERS are read from the extra directory, after MinGW-w64's own copy
where both have one, so the Win32 and COM families stay MinGW-w64's.

usage: generate.py INCLUDE_DIR OUTPUT [--extra-include DIR] [--supplement FILE] [--report]
"""
import argparse
import os
import re
import sys

# Headers in rank order, each with the name patterns of its families.
WINERROR = "winerror.h"
HEADERS = [
    (WINERROR, None),  # families: WINERROR_INCLUDE / WINERROR_EXCLUDE below
    ("d3d9.h", r"^(D3DERR_|D3DOK_|S_NOT_RESIDENT$|S_RESIDENT_IN_SHARED_MEMORY$|S_PRESENT_)"),
    ("d3dx9.h", r"^D3DXERR_"),
    ("d3dx9xof.h", r"^D3DXFERR_"),
    ("ddraw.h", r"^(DDERR_|DD_FALSE$)"),
    ("dsound.h", r"^(DSERR_|DS_NO_VIRTUALIZATION$|DS_INCOMPLETE$)"),
    ("dmerror.h", r"^DMUS_[ES]_"),
    ("dplay8.h", r"^(DPNERR_|DPNSUCCESS_)"),
    ("dvoice.h", r"^(DVERR_|DV_OK$|DV_FULLDUPLEX$|DV_HALFDUPLEX$|DV_PENDING$)"),
    ("dinput.h", r"^(DIERR_|DI_(NOTATTACHED|BUFFEROVERFLOW|PROPNOEFFECT|NOEFFECT|POLLEDDEVICE|"
                r"DOWNLOADSKIPPED|EFFECTRESTARTED|TRUNCATED|SETTINGSNOTSAVED|"
                r"TRUNCATEDANDRESTARTED|WRITEPROTECT)$)"),
    ("dxfile.h", r"^DXFILEERR_"),
    ("xaudio2.h", r"^XAUDIO2_E_"),
    ("xact.h", r"^(XACTENGINE_E_|XACTENGINE_S_)"),
    ("xact3.h", r"^(XACTENGINE_E_|XACTENGINE_S_)"),
    ("wbemcli.h", r"^(WBEM_[ES]_|WBEMMOF_E_|WBEMESS_E_)"),
    ("vfwmsgs.h", r"^VFW_[ES]_"),
]

# The headers read from --extra-include as well.
EXTRA_HEADERS = {"dvoice.h", "xact.h", "xact3.h", "d3dx9.h", "d3dx9xof.h", "dinput.h"}

# winerror.h holds everything from Win32 numbers to COM, security and setup
# codes; leave out the helper macros, range markers and the graphics and
# networking families added long after DirectX 9.
WINERROR_EXCLUDE = re.compile(
    r"^(FACILITY_|SEVERITY_|HRESULT_|MAKE_|SCODE_|NOERROR$|NO_ERROR$|ERROR_SUCCESS$|SEC_E_OK$|"
    r"D2DERR_|D3D1[0-9]_|DXGI_|DWRITE_E_|WINCODEC_ERR_|FWP_E_|TBS_|NAP_[ES]_|APPMODEL_ERROR_|"
    r"ERROR_SEVERITY_|APPLICATION_ERROR_MASK$|WARNING_|S_OK$|S_FALSE$|"
    r"WSABASEERR$|DNS_ERROR_MASK$|.*(_BASE|_FIRST|_LAST)$)")

TYPE_WORDS = {"HRESULT", "SCODE", "DWORD", "LONG", "ULONG", "UINT", "INT", "unsigned", "signed",
              "long", "int", "short", "char", "__LONG32", "WORD", "const"}

TOKEN = re.compile(r"\s*(0[xX][0-9a-fA-F]+[uUlL]*|\d+[uUlL]*|[A-Za-z_]\w*|<<|>>|<=|>=|==|!=|&&|\|\||[-+*/%&|^~!?:(),<>])")


class EvalError(Exception):
    pass


def strip_comments(text):
    text = re.sub(r"/\*.*?\*/", " ", text, flags=re.S)
    text = re.sub(r"//[^\n]*", "", text)
    return text.replace("\\\n", " ")


def tokenize(expr):
    tokens, i = [], 0
    expr = expr.strip()
    while i < len(expr):
        m = TOKEN.match(expr, i)
        if not m:
            if expr[i:].strip() == "":
                break
            raise EvalError("bad token in %r" % expr)
        tokens.append(m.group(1))
        i = m.end()
    return tokens


class Macros:
    def __init__(self):
        self.objects = {}    # name -> body text (first definition wins)
        self.functions = {}  # name -> (params, body)
        self.enums = {}      # name -> value

    def add_header(self, text):
        for line in text.split("\n"):
            m = re.match(r"\s*#\s*define\s+(\w+)(\(([^)]*)\))?\s*(.*)$", line)
            if not m:
                continue
            name, params, body = m.group(1), m.group(3), m.group(4).strip()
            if m.group(2) is not None:
                if name not in self.functions:
                    self.functions[name] = ([p.strip() for p in params.split(",") if p.strip()], body)
            elif name not in self.objects:
                self.objects[name] = body

    def expand(self, tokens, depth=0):
        if depth > 40:
            raise EvalError("macro recursion")
        out, i = [], 0
        while i < len(tokens):
            t = tokens[i]
            if t == "__MSABI_LONG" and i + 1 < len(tokens) and tokens[i + 1] == "(":
                args, i = self.arguments(tokens, i + 1)
                out += ["("] + self.expand(args[0], depth + 1) + [")"]
                continue
            if t in self.functions and i + 1 < len(tokens) and tokens[i + 1] == "(":
                params, body = self.functions[t]
                args, i = self.arguments(tokens, i + 1)
                if len(args) != len(params) and not (len(params) == 0 and args == [[]]):
                    raise EvalError("argument count of " + t)
                sub = []
                for bt in tokenize(body):
                    if bt in params:
                        sub += ["("] + args[params.index(bt)] + [")"]
                    else:
                        sub.append(bt)
                out += ["("] + self.expand(sub, depth + 1) + [")"]
                continue
            if t in self.objects:
                out += ["("] + self.expand(tokenize(self.objects[t]), depth + 1) + [")"]
            elif t in self.enums:
                out.append(str(self.enums[t]))
            else:
                out.append(t)
            i += 1
        return out

    @staticmethod
    def arguments(tokens, i):
        # tokens[i] is "("; returns the argument token lists and the index after ")".
        depth, args, cur = 0, [], []
        i += 1
        while i < len(tokens):
            t = tokens[i]
            if t == "(":
                depth += 1
            elif t == ")":
                if depth == 0:
                    args.append(cur)
                    return args, i + 1
                depth -= 1
            elif t == "," and depth == 0:
                args.append(cur)
                cur = []
                i += 1
                continue
            cur.append(t)
            i += 1
        raise EvalError("unclosed argument list")

    def evaluate(self, expr):
        tokens = self.expand(tokenize(expr))
        tokens = drop_casts(tokens)
        parser = Parser(tokens)
        value = parser.ternary()
        if parser.i != len(tokens):
            raise EvalError("trailing tokens in %r" % expr)
        return value


def drop_casts(tokens):
    out, i = [], 0
    while i < len(tokens):
        if tokens[i] == "(":
            j = i + 1
            while j < len(tokens) and tokens[j] in TYPE_WORDS:
                j += 1
            if j > i + 1 and j < len(tokens) and tokens[j] == ")":
                i = j + 1
                continue
        out.append(tokens[i])
        i += 1
    return out


def to_signed32(v):
    v &= 0xFFFFFFFF
    return v - (1 << 32) if v & 0x80000000 else v


class Parser:
    """C constant expressions on 32-bit values (kept signed, as HRESULT is)."""
    BINARY = [["||"], ["&&"], ["|"], ["^"], ["&"], ["==", "!="], ["<", "<=", ">", ">="],
              ["<<", ">>"], ["+", "-"], ["*", "/", "%"]]

    def __init__(self, tokens):
        self.t, self.i = tokens, 0

    def peek(self):
        return self.t[self.i] if self.i < len(self.t) else None

    def take(self, want=None):
        tok = self.peek()
        if tok is None or (want is not None and tok != want):
            raise EvalError("expected %s" % want)
        self.i += 1
        return tok

    def ternary(self):
        c = self.binary(0)
        if self.peek() == "?":
            self.take()
            a = self.ternary()
            self.take(":")
            b = self.ternary()
            return a if c else b
        return c

    def binary(self, level):
        if level == len(self.BINARY):
            return self.unary()
        v = self.binary(level + 1)
        while self.peek() in self.BINARY[level]:
            op = self.take()
            w = self.binary(level + 1)
            if op == "||": v = int(bool(v) or bool(w))
            elif op == "&&": v = int(bool(v) and bool(w))
            elif op == "|": v = to_signed32(v | w)
            elif op == "^": v = to_signed32(v ^ w)
            elif op == "&": v = to_signed32(v & w)
            elif op == "==": v = int(v == w)
            elif op == "!=": v = int(v != w)
            elif op == "<": v = int(v < w)
            elif op == "<=": v = int(v <= w)
            elif op == ">": v = int(v > w)
            elif op == ">=": v = int(v >= w)
            elif op == "<<": v = to_signed32(v << w)
            elif op == ">>": v = v >> w
            elif op == "+": v = to_signed32(v + w)
            elif op == "-": v = to_signed32(v - w)
            elif op == "*": v = to_signed32(v * w)
            elif op == "/": v = int(v / w)
            elif op == "%": v = v % w
        return v

    def unary(self):
        tok = self.peek()
        if tok == "-":
            self.take()
            return to_signed32(-self.unary())
        if tok == "+":
            self.take()
            return self.unary()
        if tok == "~":
            self.take()
            return to_signed32(~self.unary())
        if tok == "!":
            self.take()
            return int(not self.unary())
        if tok == "(":
            self.take()
            v = self.ternary()
            self.take(")")
            return v
        if tok is not None and re.match(r"^(0[xX][0-9a-fA-F]+|\d+)[uUlL]*$", tok):
            self.take()
            return to_signed32(int(tok.rstrip("uUlL"), 0))
        raise EvalError("not a constant: %s" % tok)


def enum_entries(text):
    """(name, expression or None) for every enum constant, in order."""
    for m in re.finditer(r"\benum\b[^{;]*\{([^}]*)\}", text):
        for item in split_top_level(m.group(1)):
            item = item.strip()
            if not item:
                continue
            em = re.match(r"^(\w+)\s*(=\s*(.+))?$", item, flags=re.S)
            if em:
                yield em.group(1), (em.group(3).strip() if em.group(3) else None)
            yield None, None  # the end of one enum restarts implicit numbering
        yield "", None


def split_top_level(body):
    parts, depth, cur = [], 0, ""
    for ch in body:
        if ch == "(":
            depth += 1
        elif ch == ")":
            depth -= 1
        if ch == "," and depth == 0:
            parts.append(cur)
            cur = ""
        else:
            cur += ch
    parts.append(cur)
    return parts


def definitions(path, macros):
    """(name, value, is_alias) in file order: #defines then enum constants."""
    text = strip_comments(open(path, encoding="latin-1").read())
    found = []
    for m in re.finditer(r"^[ \t]*#[ \t]*define[ \t]+(\w+)[ \t]+([^\n]+)$", text, flags=re.M):
        found.append((m.start(), m.group(1), m.group(2).strip()))
    prev = -1
    pos_base = len(text)  # enum constants rank after the #defines of the file
    k = 0
    for name, expr in enum_entries(text):
        if name is None or name == "":
            prev = -1
            continue
        try:
            value = macros.evaluate(expr) if expr is not None else prev + 1
        except EvalError:
            prev = -1
            continue
        macros.enums.setdefault(name, value)
        prev = value
        found.append((pos_base + k, name, expr if expr is not None else str(value)))
        k += 1
    found.sort()
    return found


def is_alias(expr, candidate_names):
    names = set(re.findall(r"[A-Za-z_]\w*", expr))
    if "HRESULT_FROM_WIN32" in names or "__HRESULT_FROM_WIN32" in names:
        return True
    return any(n in candidate_names for n in names)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("include_dir")
    ap.add_argument("output")
    ap.add_argument("--extra-include", help="directory of the EXTRA_HEADERS (libwine-dev's)")
    ap.add_argument("--supplement", help="extra 'code name' lines for codes the headers lack")
    ap.add_argument("--report", action="store_true")
    args = ap.parse_args()

    macros = Macros()
    # (header, pattern, path) in rank order, a header's MinGW-w64 copy first.
    present, missing = [], []
    for h, pat in HEADERS:
        dirs = [args.include_dir] + ([args.extra_include] if args.extra_include and h in EXTRA_HEADERS else [])
        paths = [os.path.join(d, h) for d in dirs if os.path.exists(os.path.join(d, h))]
        present += [(h, pat, p) for p in paths]
        if not paths:
            missing.append(h)
    # The macros of every header first (some use helpers of another).
    for _, _, path in present:
        macros.add_header(strip_comments(open(path, encoding="latin-1").read()))

    # rank: 0 winerror primary, 1 derived 0x8007xxxx, 2 other primary, 3 alias, 4 supplement
    entries = []  # (rank, order, code, name)
    order = 0
    per_header = {}
    candidate = {}
    failed = []
    for h, pat, path in present:
        defs = definitions(path, macros)
        kept = []
        for _, name, expr in defs:
            if h == WINERROR:
                if WINERROR_EXCLUDE.match(name) or not re.match(r"^[A-Z][A-Z0-9_]*$", name):
                    continue
            elif not re.match(pat, name):
                continue
            try:
                value = macros.evaluate(expr)
            except (EvalError, ZeroDivisionError, RecursionError) as e:
                failed.append("%s: %s (%s)" % (h, name, e))
                continue
            kept.append((name, expr, value & 0xFFFFFFFF))
            candidate[name] = True
        per_header[path] = kept
    for h, _, path in present:
        for name, expr, code in per_header[path]:
            alias = is_alias(expr, candidate)
            rank = 3 if alias else (0 if h == WINERROR else 2)
            entries.append((rank, order, code, name))
            order += 1
            if h == WINERROR and not alias and 0 < code <= 0xFFFF:
                entries.append((1, order, 0x80070000 | code, name))
                order += 1
    if args.supplement:
        for line in open(args.supplement):
            line = line.split("#", 1)[0].strip()
            if line:
                code, name = line.split()
                entries.append((4, order, int(code, 0) & 0xFFFFFFFF, name))
                order += 1

    table = {0: "S_OK", 1: "S_FALSE"}
    for rank, _, code, name in sorted(entries):
        table.setdefault(code, name)

    with open(args.output, "w") as out:
        out.write("// Generated by tools/resultcodes/generate.py from the Windows SDK headers; do not edit.\n")
        out.write("// %d codes, %d distinct names.\n" % (len(table), len(set(table.values()))))
        for code in sorted(table):
            out.write('{0x%08Xu, "%s"},\n' % (code, table[code]))

    if args.report:
        names = set(table.values())
        print("codes: %d, distinct names: %d" % (len(table), len(names)))
        print("headers missing: %s" % (", ".join(missing) or "none"))
        for f in failed:
            print("not evaluated: " + f)
        fams = {}
        for n in names:
            m = re.match(r"^(.*?_(E|S|W|I|X|ERR|ERROR|OK)_|[A-Z0-9]+_)", n)
            p = m.group(1) if m else n
            fams[p] = fams.get(p, 0) + 1
        print(" ".join("%s%d" % kv for kv in sorted(fams.items())))


if __name__ == "__main__":
    sys.exit(main())
