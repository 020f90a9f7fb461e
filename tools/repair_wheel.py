"""Repairs a freshly built wheel to a manylinux tag and puts it into the dist directory.

    python tools/repair_wheel.py WHEEL DIST

auditwheel (run by this interpreter, with patchelf on PATH) checks the extension's symbol
versions and linked libraries against the manylinux policies and renames the wheel to the
oldest platform tag it satisfies. Where this interpreter has no auditwheel, the wheel is
copied as it is (tag linux_x86_64: fine for this machine, refused by package indexes) and
the reason is printed. Earlier wheels of the same version and interpreter tag in DIST are
removed first, so that pip --find-links DIST finds only this one.
"""

import importlib.util
import shutil
import subprocess
import sys
from pathlib import Path


def main() -> int:
    wheel, dist = Path(sys.argv[1]), Path(sys.argv[2])
    name, version, python_tag, abi_tag, _ = wheel.name.split("-", 4)
    dist.mkdir(parents=True, exist_ok=True)
    for old in dist.glob(f"{name}-{version}-{python_tag}-{abi_tag}-*.whl"):
        old.unlink()

    if importlib.util.find_spec("auditwheel") is None:
        shutil.copy2(wheel, dist)
        print(f"repair_wheel: auditwheel is not installed for {sys.executable}; "
              f"{dist / wheel.name} keeps the tag linux_x86_64, which package indexes refuse")
        return 0
    if shutil.which("patchelf") is None:
        print("repair_wheel: auditwheel needs patchelf on PATH", file=sys.stderr)
        return 1
    auditwheel = [sys.executable, "-m", "auditwheel"]
    subprocess.run([*auditwheel, "show", str(wheel)], check=True)
    subprocess.run([*auditwheel, "repair", "--wheel-dir", str(dist), str(wheel)], check=True)
    for repaired in sorted(dist.glob(f"{name}-{version}-{python_tag}-{abi_tag}-*.whl")):
        print(f"repair_wheel: {repaired}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
