"""Reads the sanitizer reports of a sanitized test run and fails when any of
them comes from the project's own code.

Every error report (AddressSanitizer, UndefinedBehaviorSanitizer) counts.
Leak reports are sorted: the interpreter does not free all of its memory at
exit, so a leak whose allocation stack never passes through the project's
code (a frame in namespace gesturon, or in one of its extension modules
outside the binding library) is the interpreter's and is only counted.
"""

import re
import sys
from pathlib import Path

LEAK = re.compile(r"^(Direct|Indirect) leak of .*$", re.M)
FRAME = re.compile(r"^\s+#\d+ 0x[0-9a-f]+ in (.*)$", re.M)


def ours(frame: str) -> bool:
    return "gesturon::" in frame or ("gesturon" in frame and "pybind11::" not in frame and ".so+" in frame)


def main(folder: str) -> int:
    failures, interpreter_leaks = [], 0
    for path in sorted(Path(folder).glob("*")):
        text = path.read_text(errors="replace")
        starts = [m.start() for m in LEAK.finditer(text)]
        head = text[: starts[0]] if starts else text
        if "ERROR:" in head and "LeakSanitizer" not in head or "runtime error:" in head:
            failures.append(f"{path.name}:\n{head}")
        for begin, end in zip(starts, starts[1:] + [len(text)]):
            block = text[begin:end]
            if any(ours(frame) for frame in FRAME.findall(block)):
                failures.append(f"{path.name}:\n{block}")
            else:
                interpreter_leaks += 1
    print(f"sanitizer reports: {len(failures)} from gesturon, {interpreter_leaks} interpreter-only leaks left out")
    for failure in failures[:20]:
        print(failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
