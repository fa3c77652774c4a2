#!/usr/bin/env python3
"""The examples of lamina's documentation, run as tests.

    doc_examples.py check  ROOT                   every block recognised, every claim well formed
    doc_examples.py octave ROOT --octave CLI --plugins DIR
    doc_examples.py cpp    ROOT --cxx CXX --flags FLAGS --libs LIBS
    (Python blocks run in the Python stage: tests/python/test_doc_examples.py)

Where examples are found (nothing to register: a new page or plug-in is
picked up as it appears):
  README.md, docs/**/*.md   fenced code blocks (``` or ~~~) with a language;
  matlab/*.m                in each help text (the first comment block after
                            the function line), an "Example:" paragraph: the
                            heading "Example:" or "Example: what it shows",
                            and the lines indented deeper than it.

What happens to a block depends on its language:
  matlab, octave            run in Octave, with the built plug-ins first on
                            the path, each example in a workspace of its own;
                            a warning is an error there
  python                    run in the Python stage, with the installed module
  cpp, c++                  a whole program (it defines main) is compiled
                            against the library and run, and must exit with 0
  sh, bash, shell, console, cmake, text
                            recognised and never run (install and build
                            commands, output)
Any other language, or none, fails the check, so that no example goes
untested unnoticed. An example is left out on purpose by saying so: the word
"not-run" after the language (```matlab not-run), or the heading
"Example (not run):" in a help text. A C++ block that is not a whole program
must say so.

Claims. An example states what it shows where the reader looks for it, in a
trailing comment that begins with the value:
    E = lamina_edge_table(F)            % [0 1 2 -1; 1 2 0 3; 2 0 1 -1]
    [W, G] = lamina_work_deriv(...)     % W = 0.019383, G is 4-by-3
    sum(mask)                           % 1: the shared edge is a hinge
    E, G = lamina.energy_and_gradient(...)   # E = 0.019383
The value is a number or an Octave matrix ([1 2; 3 4]; in Python a list or
tuple, nested for rows), optionally after "NAME =", and optionally followed
by ",", ":" or ";" and prose. It is compared with NAME, or else with what
the statement shows: the variable an assignment sets first, a variable named
alone, or the expression's value (ans; in Python the expression, or the
argument of print). Sizes must agree, and every number as written: a number
written without a point or exponent exactly, one written with them to the
digits written (0.52999 holds for anything that rounds to it). In Octave a
statement not ended by ";" displays its value, so a comment on such a line
must be a claim (lines in command syntax, such as "help name", and keyword
lines excepted). Any example may also assert what it shows (assert(...)).

The path /home/me/lamina, which the documentation uses for the user's
checkout, stands for ROOT, and /home/me/lamina/build/octave for the plug-ins
under test.
"""

import argparse
import ast
import io
import math
import re
import shlex
import subprocess
import sys
import tempfile
import tokenize
from dataclasses import dataclass, field
from pathlib import Path

OCTAVE = {"matlab", "octave"}
PYTHON = {"python", "py", "python3"}
CXX = {"cpp", "c++", "cxx"}
NEVER_RUN = {"sh", "bash", "shell", "console", "cmake", "text"}
PLACEHOLDER = "/home/me/lamina"


class DocError(Exception):
    """A block or claim the convention does not allow; names its place."""


@dataclass
class Example:
    path: Path        # the file it is in
    line: int         # the line of its first code line (1-based)
    language: str     # "octave", "python", "cpp" or the shell-like language
    code: str
    run: bool         # False: recognised, deliberately not run
    reason: str = ""  # why not run

    def where(self, offset=0):
        return f"{self.path.name}:{self.line + offset}"


@dataclass
class Claim:
    name: str | None   # the variable it names, or None for the line's value
    text: str          # the value as written
    values: list = field(default_factory=list)      # the numbers, row by row
    tolerances: list = field(default_factory=list)  # each number's tolerance
    shape: tuple = ()  # () for a number, (r, c) for a matrix, (n,) for a flat Python list


# ---------------------------------------------------------------- finding them

def sources(root):
    """The files whose examples are tests: README.md, docs/**/*.md, matlab/*.m."""
    root = Path(root)
    found = [root / "README.md"] if (root / "README.md").exists() else []
    found += sorted((root / "docs").rglob("*.md")) if (root / "docs").is_dir() else []
    found += sorted((root / "matlab").glob("*.m"))
    return found


def examples(root, errors):
    """Every example of the documentation; what breaks the convention goes to
    errors (a list of DocError texts) and is left out."""
    out = []
    for path in sources(root):
        text = path.read_text(encoding="utf-8")
        try:
            out += markdown_examples(path, text, errors) if path.suffix == ".md" else help_examples(path, text)
        except DocError as e:
            errors.append(str(e))
    for ex in out:
        try:
            if ex.run and ex.language == "octave":
                octave_script(ex)
            elif ex.run and ex.language == "python":
                python_program(ex)
        except (DocError, SyntaxError) as e:
            errors.append(str(e))
    return out


FENCE = re.compile(r"^(\s*)(`{3,}|~{3,})\s*(.*)$")


def markdown_examples(path, text, errors):
    lines = text.split("\n")
    out, i = [], 0
    while i < len(lines):
        m = FENCE.match(lines[i])
        if not m:
            i += 1
            continue
        indent, fence, info = m.group(1), m.group(2), m.group(3).split()
        j = i + 1
        while j < len(lines) and not re.match(rf"^\s*{fence[0]}{{{len(fence)},}}\s*$", lines[j]):
            j += 1
        if j == len(lines):
            raise DocError(f"{path.name}:{i + 1}: a code fence that is never closed")
        body = [ln[len(indent):] if ln.startswith(indent) else ln.lstrip() for ln in lines[i + 1:j]]
        try:
            out.append(classify(path, i + 2, info[0].lower() if info else "", info[1:], "\n".join(body)))
        except DocError as e:
            errors.append(str(e))
        i = j + 1
    return out


def classify(path, line, language, flags, code):
    where = f"{path.name}:{line - 1}"
    if "not-run" in flags:
        return Example(path, line, language or "?", code, False, "marked not-run")
    if language in NEVER_RUN:
        return Example(path, line, language, code, False, f"{language} block")
    if language in OCTAVE:
        return Example(path, line, "octave", code, True)
    if language in PYTHON:
        return Example(path, line, "python", code, True)
    if language in CXX:
        if not re.search(r"\bint\s+main\s*\(", code):
            raise DocError(f"{where}: a C++ block that is not a whole program (no main); "
                           "mark it ```cpp not-run, or complete it")
        return Example(path, line, "cpp", code, True)
    raise DocError(f"{where}: a code block in {'language ' + repr(language) if language else 'no language'}; "
                   f"name one of {sorted(OCTAVE | PYTHON | CXX | NEVER_RUN)}, or add not-run")


HEADING = re.compile(r"^(\s*)Example(?:s)?( \(not run\))?:(.*)$")


def help_examples(path, text):
    """The "Example:" paragraphs of a .m file's help text."""
    lines = text.split("\n")
    start = next((i + 1 for i, ln in enumerate(lines) if ln.lstrip().startswith("function")), 0)
    help_lines = []
    for i in range(start, len(lines)):
        if not lines[i].lstrip().startswith("%"):
            if help_lines:
                break
            continue
        help_lines.append((i + 1, lines[i].lstrip()[1:]))
    out = []
    for k, (number, ln) in enumerate(help_lines):
        m = HEADING.match(ln)
        if not m:
            if re.search(r"(?i)\bexamples?\b", ln) and ln.rstrip().endswith(":"):
                raise DocError(f"{path.name}:{number}: an example announced as {ln.strip()!r}; "
                               "head it 'Example:' or 'Example (not run):'")
            continue
        depth = len(m.group(1))
        indent = lambda t: len(t) - len(t.lstrip())
        rest = help_lines[k + 1:]
        # The heading's prose may go on at its own depth; the code lies deeper.
        while rest and rest[0][1].strip() and indent(rest[0][1]) == depth:
            rest = rest[1:]
        while rest and not rest[0][1].strip():
            rest = rest[1:]
        body = []
        for number2, ln2 in rest:
            if ln2.strip() and indent(ln2) <= depth:
                break
            body.append((number2, ln2))
        while body and not body[-1][1].strip():
            body.pop()
        while body and not body[0][1].strip():
            body.pop(0)
        if not body:
            raise DocError(f"{path.name}:{number}: an Example heading with no code under it")
        cut = min(len(t) - len(t.lstrip()) for _, t in body if t.strip())
        code = "\n".join(t[cut:] for _, t in body)
        run = not m.group(2)
        out.append(Example(path, body[0][0], "octave", code, run, "" if run else "Example (not run)"))
    return out


# ---------------------------------------------------------------------- claims

NUMBER = r"[-+]?(?:NaN|Inf|true|false|(?:\d+\.?\d*|\.\d+)(?:[eE][-+]?\d+)?)"


def number(token):
    """A written number: its value and tolerance (0: exact)."""
    t = token.lstrip("+-")
    sign = -1.0 if token.startswith("-") else 1.0
    if t in ("NaN", "Inf", "true", "false"):
        return sign * {"NaN": math.nan, "Inf": math.inf, "true": 1.0, "false": 0.0}[t], 0.0
    m = re.fullmatch(r"(\d*)(?:\.(\d*))?(?:[eE]([-+]?\d+))?", t)
    if m.group(2) is None and m.group(3) is None:
        return sign * float(t), 0.0
    return sign * float(t), 0.5 * 10.0 ** (int(m.group(3) or 0) - len(m.group(2) or ""))


def parse_claim(comment, language):
    """The claim a comment's text makes, or None when it makes none."""
    m = re.match(r"\s*(?:([A-Za-z_]\w*)\s*=(?!=)\s*)?", comment)
    name, rest = m.group(1), comment[m.end():]
    value = octave_value(rest) if language == "octave" else python_value(rest)
    if value is None:
        return None
    claim, length = value
    if not re.match(r"\s*([,:;]|$)", rest[length:]):
        return None
    claim.name, claim.text = name, rest[:length]
    return claim


def octave_value(text):
    m = re.match(NUMBER + r"(?![\w.])", text)
    if m:
        v, t = number(m.group(0))
        return Claim(None, "", [v], [t], ()), m.end()
    if not text.startswith("["):
        return None
    end = text.find("]")
    if end < 0:
        return None
    rows = [r.replace(",", " ").split() for r in text[1:end].split(";")]
    if any(not re.fullmatch(NUMBER, t) for r in rows for t in r) or len({len(r) for r in rows}) != 1:
        return None
    parsed = [number(t) for r in rows for t in r]
    return Claim(None, "", [v for v, _ in parsed], [t for _, t in parsed], (len(rows), len(rows[0]))), end + 1


def python_value(text):
    m = re.match(r"[\[(][-+\d.eE,\s\[\]()NaInf]*[\])]|" + NUMBER + r"(?![\w.])", text)
    if not m:
        return None
    written = m.group(0)
    try:
        structure = ast.literal_eval(re.sub(r"NaN|Inf", "0", written))
    except (ValueError, SyntaxError):
        return None
    parsed = [number(t) for t in re.findall(NUMBER, written)]
    shape = ()
    if isinstance(structure, (list, tuple)):
        rows = [len(r) if isinstance(r, (list, tuple)) else None for r in structure]
        if len(set(rows)) != 1:
            return None
        shape = (len(structure),) if rows[0] is None else (len(structure), rows[0])
    elif not isinstance(structure, (int, float)):
        return None
    if math.prod(shape) != len(parsed):
        return None
    return Claim(None, "", [v for v, _ in parsed], [t for _, t in parsed], shape), m.end()


# ------------------------------------------------------------------------ Octave

KEYWORDS = {"if", "elseif", "else", "end", "endif", "for", "endfor", "while", "endwhile", "do",
            "until", "switch", "case", "otherwise", "endswitch", "try", "catch", "end_try_catch",
            "function", "endfunction", "return", "break", "continue", "global", "persistent",
            "unwind_protect", "unwind_protect_cleanup", "end_unwind_protect"}


def split_octave_line(line, depth):
    """Code and comment of one line, the bracket depth after it, and whether
    it continues with '...'. Strings and the transpose operator are told apart
    as Octave does: a quote right after a name, a number, a closing bracket or
    a quote is a transpose."""
    i, quote = 0, None
    while i < len(line):
        c = line[i]
        if quote:
            if c == quote:
                if line[i + 1:i + 2] == quote:
                    i += 1
                else:
                    quote = None
        elif line.startswith("...", i):
            return line[:i], "", depth, True
        elif c in "%#":
            return line[:i], line[i + 1:], depth, False
        elif c == '"' or (c == "'" and not (i and re.match(r"[\w)\]}'.]", line[i - 1]))):
            quote = c
        elif c in "([{":
            depth += 1
        elif c in ")]}":
            depth -= 1
        i += 1
    return line, "", depth, False


def last_statement(code):
    """The last statement of a line's code, and whether it is terminated."""
    parts, depth, quote, start = [], 0, None, 0
    for i, c in enumerate(code):
        if quote:
            quote = None if c == quote else quote
        elif c == '"' or (c == "'" and not (i and re.match(r"[\w)\]}'.]", code[i - 1]))):
            quote = c
        elif c in "([{":
            depth += 1
        elif c in ")]}":
            depth -= 1
        elif c in ";," and depth == 0:
            parts.append((code[start:i], c))
            start = i + 1
    tail = code[start:].strip()
    if tail:
        return tail, False
    return (parts[-1][0].strip(), parts[-1][1] == ";") if parts else ("", True)


def shown(statement):
    """The variable an Octave statement displays: what an assignment sets
    first, a variable named alone, or ans."""
    m = re.match(r"\s*\[\s*~?\s*,?\s*([A-Za-z_]\w*)[^\]]*\]\s*=(?!=)", statement) or \
        re.match(r"\s*([A-Za-z_]\w*)\s*(?:\([^=]*\)|\.\w+)?\s*=(?!=)", statement) or \
        re.fullmatch(r"\s*([A-Za-z_]\w*)\s*", statement)
    return m.group(1) if m else "ans"


def is_command_syntax(statement):
    return re.match(r"^[A-Za-z_]\w*\s+(?![-+*/\\^<>=&|~!.]=?\s|[=(])\S", statement) is not None


def octave_script(example):
    """The example's code with a check after every claim, line for line."""
    out, depth, pending = [], 0, []
    for k, line in enumerate(example.code.split("\n")):
        code, comment, depth, more = split_octave_line(line, depth)
        pending.append(code)
        if more or depth > 0:
            out.append(line)
            continue
        statement, terminated = last_statement(" ".join(pending))
        pending_lines, pending = pending, []
        head = statement.split()[0] if statement.split() else ""
        displays = bool(statement) and not terminated and head not in KEYWORDS and \
            not is_command_syntax(statement)
        claim = parse_claim(comment, "octave") if comment.strip() else None
        if claim is None:
            if not (displays and comment.strip()):
                out.append(line)
                continue
            if shown(statement) != "ans" or len(pending_lines) > 1:
                raise DocError(f"{example.where(k)}: '{statement}' displays its value, and its comment "
                               "does not state it: write '% VALUE' or '% NAME = VALUE', or end it with ';'")
            # A call may return nothing, and then displays nothing: find out as it runs.
            out.append(f"clear ans; {code.rstrip()}, if exist('ans', 'var'), error('lamina:docClaim', "
                       f"'{example.where(k)}: this line displays a value, and its comment does not state "
                       f"it'); end  %{comment}")
            continue
        target = claim.name or shown(statement)
        check = (f"doc_claim({target}, {octave_matrix(claim.values, claim.shape)}, "
                 f"{octave_matrix(claim.tolerances, claim.shape)}, '{example.where(k)}', '{target}', "
                 f"'{claim.text.replace(chr(39), chr(39) * 2)}');")
        out.append(code.rstrip() + ("" if terminated else ",") + " " + check + "  %" + comment)
    return "\n".join(out)


def octave_matrix(numbers, shape):
    """Numbers given row by row, as an Octave literal of that shape."""
    columns = shape[1] if len(shape) == 2 else max(len(numbers), 1)
    text = [octave_number(v) for v in numbers]
    return "[" + "; ".join(" ".join(text[i:i + columns]) for i in range(0, len(text), columns)) + "]"


def octave_number(v):
    return "NaN" if math.isnan(v) else ("Inf" if v == math.inf else "-Inf" if v == -math.inf else repr(v))


def with_placeholders(code, root, plugins):
    code = code.replace(PLACEHOLDER + "/build/octave", str(plugins)) if plugins else code
    return code.replace(PLACEHOLDER, str(root))


def run_octave(root, examples_, octave, plugins):
    here = Path(__file__).resolve().parent
    with tempfile.TemporaryDirectory(prefix="lamina_doc_") as tmp:
        names = []
        for n, ex in enumerate(examples_):
            script = Path(tmp) / f"example_{n:03d}.m"
            script.write_text(with_placeholders(octave_script(ex), root, plugins) + "\n")
            names.append((str(script), ex.where()))
        cell = lambda xs: "{" + ", ".join("'" + x.replace("'", "''") + "'" for x in xs) + "}"
        driver = (f"addpath('{here}'); addpath('{plugins}'); cd('{tmp}');\n"
                  f"exit(~doc_run({cell(n for n, _ in names)}, {cell(w for _, w in names)}));\n")
        done = subprocess.run([octave, "--no-gui", "--norc", "--quiet", "--eval", driver],
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, timeout=1800)
    print(done.stdout.replace("error: ignoring const execution_exception& while preparing to exit\n", ""))
    return done.returncode == 0


# --------------------------------------------------------------------- Python

def python_program(example):
    """The example as a module, with a check after every claim; claims on
    statements that end on a comment's line."""
    code = example.code
    comments = {}
    for tok in tokenize.generate_tokens(io.StringIO(code + "\n").readline):
        if tok.type == tokenize.COMMENT:
            comments[tok.start[0]] = tok.string[1:]
    tree = ast.parse(code, filename=example.where())
    claimed = set()

    def rewrite(body):
        new = []
        for stmt in body:
            for attr in ("body", "orelse", "finalbody"):
                if isinstance(getattr(stmt, attr, None), list):
                    setattr(stmt, attr, rewrite(getattr(stmt, attr)))
            claim = parse_claim(comments.get(stmt.end_lineno, ""), "python")
            if claim is None:
                new.append(stmt)
                continue
            claimed.add(stmt.end_lineno)
            value = None
            if isinstance(stmt, ast.Expr):
                call = stmt.value
                printed = isinstance(call, ast.Call) and isinstance(call.func, ast.Name) and \
                    call.func.id == "print" and len(call.args) == 1
                value = call.args[0] if printed else call
                new.append(ast.Assign([ast.Name("__doc_value__", ast.Store())], value))
                if printed:
                    call.args[0] = ast.Name("__doc_value__", ast.Load())
                    new.append(stmt)
                target = ast.Name("__doc_value__", ast.Load())
            else:
                new.append(stmt)
                first = stmt.targets[0] if isinstance(stmt, ast.Assign) else getattr(stmt, "target", None)
                first = first.elts[0] if isinstance(first, ast.Tuple) else first
                if claim.name is None and not isinstance(first, ast.Name):
                    raise DocError(f"{example.where(stmt.end_lineno - 1)}: a claim on a statement "
                                   "that shows no value; write '# NAME = VALUE'")
                target = ast.Name(claim.name or first.id, ast.Load())
            args = [target, ast.Constant(tuple(claim.values)), ast.Constant(tuple(claim.tolerances)),
                    ast.Constant(claim.shape), ast.Constant(example.where(stmt.end_lineno - 1)),
                    ast.Constant(claim.name or "the value"), ast.Constant(claim.text)]
            new.append(ast.Expr(ast.Call(ast.Name("__doc_claim__", ast.Load()), args, [])))
        return new

    tree.body = rewrite(tree.body)
    for line, text in comments.items():
        if line not in claimed and parse_claim(text, "python") is not None:
            raise DocError(f"{example.where(line - 1)}: a claim that follows no complete statement")
    return compile(ast.fix_missing_locations(tree), example.where(), "exec")


def python_claim(value, values, tolerances, shape, where, name, text):
    """Raises AssertionError unless value (a number, a sequence, a NumPy array
    or a SciPy sparse matrix) has the claimed shape and numbers."""
    def flat(x):
        if isinstance(x, (list, tuple)):
            inner = [flat(y) for y in x]
            if len({s for s, _ in inner}) > 1:
                raise AssertionError(f"{where}: {name} is ragged; the comment says {text}")
            return (len(x),) + (inner[0][0] if inner else ()), [v for _, vs in inner for v in vs]
        return (), [float(x)]

    if hasattr(value, "toarray"):
        value = value.toarray()
    actual_shape, actual = flat(value.tolist() if hasattr(value, "tolist") else value)
    if actual_shape != tuple(shape):
        raise AssertionError(f"{where}: {name} has shape {actual_shape}; the comment says {text}")
    for a, v, t in zip(actual, values, tolerances):
        if not (a == v or (math.isnan(a) and math.isnan(v)) or abs(a - v) <= t * (1 + 1e-9)):
            raise AssertionError(f"{where}: {name} is {value!r}; the comment says {text}")


def run_python(example, root):
    namespace = {"__name__": "__doc_example__", "__doc_claim__": python_claim}
    exec(python_program(Example(example.path, example.line, example.language,
                                with_placeholders(example.code, root, None), True)), namespace)


# ------------------------------------------------------------------------ C++

def run_cpp(examples_, cxx, flags, libs):
    ok = True
    with tempfile.TemporaryDirectory(prefix="lamina_doc_cpp_") as tmp:
        for n, ex in enumerate(examples_):
            source, program = Path(tmp) / f"example_{n}.cpp", Path(tmp) / f"example_{n}"
            source.write_text(ex.code + "\n")
            build = subprocess.run([cxx, *shlex.split(flags), str(source), "-o", str(program), *shlex.split(libs)],
                                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
            done = build if build.returncode else subprocess.run(
                [str(program)], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, cwd=tmp, timeout=600)
            what = "does not compile" if build.returncode else f"exits with {done.returncode}"
            print(f"{'ok  ' if done.returncode == 0 else 'FAIL'} {ex.where()}"
                  + ("" if done.returncode == 0 else f": {what}\n{done.stdout}"))
            ok = ok and done.returncode == 0
    return ok


# ----------------------------------------------------------------------- main

def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("mode", choices=["check", "octave", "cpp"])
    ap.add_argument("root")
    ap.add_argument("--octave", default="octave-cli")
    ap.add_argument("--plugins")
    ap.add_argument("--cxx", default="c++")
    ap.add_argument("--flags", default="")
    ap.add_argument("--libs", default="")
    a = ap.parse_args(argv)
    root = Path(a.root).resolve()
    errors = []
    found = examples(root, errors)
    for e in errors:
        print(f"FAIL {e}")
    if errors:
        return 1
    if a.mode == "check":
        for ex in found:
            print(f"{ex.where():<32} {ex.language:<8} {'run' if ex.run else 'not run: ' + ex.reason}")
        counts = {lang: sum(ex.run and ex.language == lang for ex in found) for lang in ("octave", "python", "cpp")}
        print(f"{len(found)} blocks in {len(sources(root))} files; run: {counts}")
        return 0
    language = a.mode
    chosen = [ex for ex in found if ex.run and ex.language == language]
    if not chosen:
        print(f"no {language} examples to run")
        return 0
    if language == "octave":
        return 0 if run_octave(root, chosen, a.octave, Path(a.plugins).resolve()) else 1
    return 0 if run_cpp(chosen, a.cxx, a.flags, a.libs) else 1


if __name__ == "__main__":
    sys.exit(main())
