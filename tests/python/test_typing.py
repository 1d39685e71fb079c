"""The module's stubs, kept true to the installed module, and the project's
own Python checked against them.

- stubtest: every stub entry exists at run time as what it claims to be,
  and nothing public at run time is missing from the stubs;
- every signature in the stubs agrees with the one pybind11 generated for
  the binding: parameter names, positional-only parameters, defaults and
  conversions (converting or strict int, string, float, sequence);
- `mypy --strict` passes on gesturon_tools, bench/, examples/, the Python
  examples of the README and of every guide in docs/, and
  typed_uses/accepted.py, which also runs;
- every marked line of typed_uses/rejected.py draws its mypy error and fails
  at run time as well, so the stubs are neither permissive nor stricter
  than the module.
"""

from __future__ import annotations

import ast
import builtins
import re
import runpy
import subprocess
import sys
from pathlib import Path

import pytest
from mypy import api as mypy_api

import gesturon
from guides import DOCUMENTS, ROOT, blocks, text

USES = Path(__file__).resolve().parent / "typed_uses"
INSTALLED_STUBS = Path(gesturon.__file__).parent / "gesturon-stubs" / "__init__.pyi"
CACHE = ROOT / "build" / "mypy-cache"


def run_mypy(*targets: str | Path) -> tuple[int, str]:
    """mypy --strict with the project's configuration, from the root. mypy
    raises the interpreter's recursion limit for itself; it is put back, so
    that tests run after this one meet the limit every program meets."""
    limit = sys.getrecursionlimit()
    try:
        out, err, status = mypy_api.run([
            "--config-file", str(ROOT / "pyproject.toml"), "--cache-dir", str(CACHE),
            "--no-pretty", "--no-color-output", "--no-error-summary", *map(str, targets)])
    finally:
        sys.setrecursionlimit(limit)
    return status, out + err


def test_stubs_are_installed_beside_the_module():
    source = ROOT / "src" / "module" / "gesturon.pyi"
    assert INSTALLED_STUBS.read_text(encoding="utf-8") == source.read_text(encoding="utf-8")
    import gesturon_tools
    assert (Path(gesturon_tools.__file__).parent / "py.typed").is_file()


def test_stubtest_finds_no_difference():
    # No allowlist: the one thing pybind11 gives every class that the stubs
    # would otherwise lack, its metaclass, is declared in them.
    done = subprocess.run([sys.executable, "-m", "mypy.stubtest", "gesturon"],
                          capture_output=True, text=True, cwd=USES)
    assert done.returncode == 0, done.stdout + done.stderr


# ---------------------------------------------------------------------------
# Signatures: the stubs against pybind11's own signature lines.

def runtime_signature(obj: object) -> ast.FunctionDef | None:
    """pybind11's signature line of a bound function as a parsed def; None
    for what pybind11 did not generate (slot wrappers)."""
    doc = getattr(obj, "__doc__", None) or ""
    line = doc.split("\n", 1)[0]
    if not re.match(r"\w*\(", line):
        return None
    tree = ast.parse(f"def {line if not line.startswith('(') else 'getter' + line}: ...")
    node = tree.body[0]
    assert isinstance(node, ast.FunctionDef)
    return node


def expected_parameter_type(annotation: str) -> str:
    """A parameter type as pybind11 renders it, spelled as in the stubs."""
    text = re.sub(r"typing\.Annotated\[(.*), 'FixedSize\(3\)'\]", r"\1", annotation)
    for rendered, alias in (("typing.SupportsInt | typing.SupportsIndex", "_Pip"),
                            ("typing.SupportsFloat | typing.SupportsIndex", "_Number"),
                            ("collections.abc.Sequence[", "_Many["), ("gesturon.", "")):
        text = text.replace(rendered, alias)
    return re.sub(r"\bstr\b", "_Text", re.sub(r"\bint\b", "_StrictPip", text))


def parameters(fn: ast.FunctionDef) -> list[tuple[bool, str, ast.expr | None, ast.expr | None]]:
    """(positional only, name, annotation, default) of each parameter after self."""
    args = fn.args
    assert not args.vararg and not args.kwarg and not args.kwonlyargs
    listed = [(True, a) for a in args.posonlyargs] + [(False, a) for a in args.args]
    defaults = [None] * (len(listed) - len(args.defaults)) + list(args.defaults)
    return [(only, a.arg, a.annotation, d) for (only, a), d in zip(listed, defaults)]


def stub_entries() -> list[tuple[str, ast.FunctionDef, object]]:
    """(qualified name, stub def, runtime object) of every def in the stubs."""
    tree = ast.parse(INSTALLED_STUBS.read_text(encoding="utf-8"))
    entries = []
    for node in tree.body:
        if isinstance(node, ast.FunctionDef):
            entries.append((node.name, node, getattr(gesturon, node.name)))
        elif isinstance(node, ast.ClassDef) and hasattr(gesturon, node.name):
            cls = getattr(gesturon, node.name)
            for member in node.body:
                if isinstance(member, ast.FunctionDef):
                    runtime = vars(cls)[member.name]
                    entries.append((f"{node.name}.{member.name}", member,
                                    runtime.fget if isinstance(runtime, property) else runtime))
    return entries


ENTRIES = stub_entries()


@pytest.mark.parametrize("stub, runtime", [e[1:] for e in ENTRIES], ids=[e[0] for e in ENTRIES])
def test_stub_signature_is_the_generated_one(stub: ast.FunctionDef, runtime: object):
    generated = runtime_signature(runtime)
    if generated is None:
        # Only Offset3 has no generated constructor: the class refuses calls.
        assert stub.name == "__init__" and runtime is vars(gesturon.Offset3)["__init__"]
        return
    is_property = any(ast.unparse(d) == "property" for d in stub.decorator_list)
    returns = ast.unparse(generated.returns).replace("gesturon.", "")
    # A py::list result is rendered as a bare list; the stubs say of what.
    assert ast.unparse(stub.returns) == returns or returns == "list" and ast.unparse(stub.returns).startswith("list[")
    ours, theirs = parameters(stub), parameters(generated)
    if is_property or ours and ours[0][1] == "self":
        ours, theirs = ours[1:], theirs[1:]
    assert len(ours) == len(theirs)
    for (only, name, annotation, default), (_, their_name, their_annotation, their_default) in zip(ours, theirs):
        unnamed = re.fullmatch(r"arg\d+", their_name) is not None
        assert only == unnamed and (unnamed or name == their_name)
        assert annotation is not None and their_annotation is not None
        assert ast.unparse(annotation) == expected_parameter_type(ast.unparse(their_annotation))
        assert (default is None) == (their_default is None)
        if default is not None and not (isinstance(default, ast.Constant) and default.value is ...):
            assert ast.literal_eval(default) == ast.literal_eval(their_default)


def test_every_binding_has_a_stub_signature():
    checked = {name for name, _, _ in ENTRIES}
    functions = {n for n, v in vars(gesturon).items() if callable(v) and not isinstance(v, type)}
    assert functions <= checked
    for cls in (gesturon.Offset3, gesturon.SampledPattern, gesturon.PatternLibrary, gesturon.SampledRecording):
        members = {n for n, v in vars(cls).items() if not n.startswith("_") or n == "__init__"}
        assert {f"{cls.__name__}.{n}" for n in members} <= checked


# ---------------------------------------------------------------------------
# mypy --strict on the project's Python and on typed uses of the module.

@pytest.mark.parametrize("target", ["python/gesturon_tools", "bench", "examples",
                                    "tests/python/typed_uses/accepted.py"])
def test_strict_mypy_passes(target: str):
    status, report = run_mypy(ROOT / target)
    assert status == 0, report


DOCUMENTED = [path for path in DOCUMENTS if blocks(path, "python")]


def test_every_python_example_is_found():
    for path in DOCUMENTS:
        assert len(blocks(path, "python")) == text(path).count("```python\n"), path.name


@pytest.mark.parametrize("document", DOCUMENTED, ids=lambda path: path.name)
def test_strict_mypy_passes_on_the_documented_examples(document: Path, tmp_path: Path):
    examples = []
    for i, block in enumerate(blocks(document, "python"), 1):
        examples.append(tmp_path / f"{document.stem}_example_{i}.py")
        examples[-1].write_text(block, encoding="utf-8")
    status, report = run_mypy(*examples)
    assert status == 0, report


def test_accepted_uses_run():
    runpy.run_path(str(USES / "accepted.py"), run_name="accepted")


MARK = re.compile(r"\s*# rejected: (?P<code>[\w-]+) (?P<error>\w+)$")


def rejected_lines() -> dict[int, tuple[str, str, str]]:
    """line number: (statement, mypy error code, exception name)."""
    lines = (USES / "rejected.py").read_text(encoding="utf-8").splitlines()
    marked = {}
    for number, line in enumerate(lines, 1):
        match = MARK.search(line)
        if match:
            marked[number] = (line[: match.start()], match["code"], match["error"])
    return marked


REJECTED = rejected_lines()


def test_rejected_uses_draw_their_errors_and_no_others():
    status, report = run_mypy(USES / "rejected.py")
    found: dict[int, set[str]] = {}
    for number, code in re.findall(r"rejected\.py:(\d+): error: .*\[([\w-]+)\]$", report, re.M):
        found.setdefault(int(number), set()).add(code)
    assert status == 1
    assert found == {number: {code} for number, (_, code, _) in REJECTED.items()}, report


@pytest.fixture(scope="module")
def setup_namespace() -> dict[str, object]:
    source = (USES / "rejected.py").read_text(encoding="utf-8").splitlines()
    setup = "\n".join("pass" if n in REJECTED else line for n, line in enumerate(source, 1))
    namespace: dict[str, object] = {}
    exec(compile(setup, "rejected.py", "exec"), namespace)
    return namespace


@pytest.mark.parametrize("statement, error", [(s, e) for s, _, e in REJECTED.values()],
                         ids=[s for s, _, _ in REJECTED.values()])
def test_rejected_uses_fail_at_run_time(statement: str, error: str, setup_namespace: dict[str, object]):
    with pytest.raises(getattr(builtins, error)):
        exec(statement, dict(setup_namespace))
