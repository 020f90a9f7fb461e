"""tools/check_abi.py, which make check-ft runs on the free-threaded builds, against the built
extensions: it accepts them as the regular builds they are and refuses one renamed as free-threaded."""

import re
import shutil
import subprocess
import sys
import sysconfig
from pathlib import Path

import pytest

import vellomir
import vellomir_numpy._core

CHECK_ABI = Path(__file__).resolve().parents[2] / "tools" / "check_abi.py"

pytestmark = [
    pytest.mark.skipif(shutil.which("nm") is None, reason="nm (binutils) lists the exported functions"),
    pytest.mark.skipif(bool(sysconfig.get_config_var("Py_GIL_DISABLED")), reason="checks regular builds"),
]


def check_abi(*arguments):
    return subprocess.run([sys.executable, str(CHECK_ABI), *arguments], capture_output=True, text=True, timeout=60)


@pytest.mark.parametrize("module", [vellomir, vellomir_numpy._core], ids=["vellomir", "_core"])
def test_regular_build_passes_and_a_renamed_one_is_refused(module, tmp_path):
    done = check_abi(module.__file__)
    assert done.returncode == 0, done.stderr
    assert "regular build, exports and slots as expected" in done.stdout
    renamed = tmp_path / re.sub(r"(cpython-3\d+)-", r"\1t-", Path(module.__file__).name)
    shutil.copy(module.__file__, renamed)
    refused = check_abi("--free-threaded", str(renamed))
    assert refused.returncode == 1
    assert "does not have the free-threaded build's layout" in refused.stderr
