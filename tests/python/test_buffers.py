"""The float64 buffer shortcut of sequence arguments gives exactly what the item-by-item path gives.

The item-by-item path of an object is reached through a proxy whose only route to the
values is the object's own len() and iteration (the proxy exposes no buffer), so every
value, exception, message and note must match between the two, whatever the object.
"""

import array
import math
import struct

import pytest

import vellomir
from conftest import run_python

np = pytest.importorskip("numpy")


class ItemByItem:
    """A sequence that hands out `target`'s own length and iterator, and no buffer."""

    def __init__(self, target):
        self.target = target

    def __len__(self):
        return len(self.target)

    def __getitem__(self, index):  # makes it a sequence; iteration goes through __iter__
        raise AssertionError("not used")

    def __iter__(self):
        return iter(self.target)


def outcome(call):
    """Results as bit patterns, or the exception's type, text and notes."""
    try:
        result = call()
    except Exception as error:  # noqa: BLE001 - compared below
        return type(error), str(error), getattr(error, "__notes__", None)
    return [struct.pack("<d", value).hex() for value in result]


SIGNALLING_NAN = struct.unpack("<d", bytes.fromhex("0100000000f07f7f")[::-1])[0]
PAYLOAD_NAN = struct.unpack("<d", bytes.fromhex("fff8000000c0ffee"))[0]
VALUES = [0.5, -0.0, 0.0, 1.0, 2.5, math.inf, -math.inf, math.nan, SIGNALLING_NAN, PAYLOAD_NAN, 5e-324, 1e308, -3.0]


def float64_cases():
    values = np.array(VALUES * 3, dtype=np.float64)
    unaligned = np.frombuffer(bytearray(8 * len(values) + 1), dtype=np.float64, offset=1, count=len(values))
    unaligned[:] = values
    record = np.zeros(len(values), dtype=[("a", "f8"), ("b", "i4")])
    record["a"] = values
    return {
        "ndarray": values,
        "ndarray strided": values[::3],
        "ndarray reversed": values[::-2],
        "ndarray unaligned": unaligned,
        "ndarray record field": record["a"],
        "ndarray empty": np.array([], dtype=np.float64),
        "ndarray read-only": np.frombuffer(values.tobytes(), dtype=np.float64),
        "array('d')": array.array("d", VALUES),
        "memoryview": memoryview(values),
        "memoryview strided": memoryview(array.array("d", VALUES))[::2],
        "memoryview cast": memoryview(values.tobytes()).cast("d"),
    }


class Overriding(np.ndarray):
    def __getitem__(self, index):
        return 2.0 * np.ndarray.__getitem__(self, index)

    def __iter__(self):
        return (2.0 * x for x in np.ndarray.__iter__(self))


class Plain(np.ndarray):
    pass


def fallback_cases():
    values = np.array(VALUES[:6], dtype=np.float64)
    return {
        "bytes": b"\x00\x01\xff",
        "bytearray": bytearray(b"\x02\x03"),
        "int64 array": np.arange(5),
        "float32 array": values.astype(np.float32),
        "byte-swapped array": values.astype(">f8"),
        "2-d array": values.reshape(2, 3),
        "n x 1 array": values.reshape(6, 1),
        "0-d array": np.array(1.5),
        "object array": values.astype(object),
        "complex array": values.astype(np.complex128),
        "subclass overriding items": values.view(Overriding),
        "plain subclass": values.view(Plain),
        "array('i')": array.array("i", [1, 2, 3]),
        "array('f')": array.array("f", [0.5, 1.5]),
        "memoryview of bytes": memoryview(b"\x01\x02"),
        "memoryview byte-swapped": memoryview(values.astype(">f8")),
        "memoryview 2-d": memoryview(values.reshape(2, 3)),
        "memoryview 0-d": memoryview(np.array(1.5)),
        "released memoryview": released_memoryview(),
    }


def released_memoryview():
    view = memoryview(array.array("d", [1.0]))
    view.release()
    return view


@pytest.mark.filterwarnings("ignore:Casting complex values")
@pytest.mark.parametrize("name", list(float64_cases()) + list(fallback_cases()))
def test_buffer_and_item_paths_agree(name):
    sequence = {**float64_cases(), **fallback_cases()}[name]
    for parameter in ("l", "bf"):
        def call(bf_or_l):
            if parameter == "l":
                return vellomir.witt_mao_magnification(bf_or_l, 1.0, 1.0)
            # Each result is H * bf[j] for one ring: NaN payloads and the sign of zero survive.
            return vellomir.discrete_flux_map_heyrovsky_magnification([2.0], 1.0, 1.0, bf_or_l, bf_or_l)
        assert outcome(lambda: call(sequence)) == outcome(lambda: call(ItemByItem(sequence))), parameter


@pytest.mark.parametrize("name", list(float64_cases()))
def test_values_arrive_bit_for_bit(name):
    """One ring of radius 0.5 and brightness b gives H * b, which keeps b's NaN payload and sign."""
    sequence = float64_cases()[name]
    ring = lambda bf: vellomir.discrete_flux_map_heyrovsky_magnification([2.0], 1.0, 1.0, [0.5], bf)  # noqa: E731
    for position in range(len(sequence)):
        assert outcome(lambda: ring(sequence[position : position + 1])) == outcome(lambda: ring([float(sequence[position])]))


def test_importing_and_calling_never_imports_numpy():
    done = run_python(
        "import array, sys, vellomir\n"
        "vellomir.witt_mao_magnification(array.array('d', [0.5, 1.0]), 1.0, 0.1)\n"
        "vellomir.witt_mao_magnification(memoryview(b'x' * 16).cast('d'), 1.0, 0.1)\n"
        "print('numpy' in sys.modules)\n"
    )
    assert done.returncode == 0, done.stderr
    assert done.stdout.strip() == "False"
