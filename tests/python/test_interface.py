"""The module's interface: registration, signatures, argument matching and conversion."""

import array
import ctypes
import gc
import importlib
import importlib.machinery
import inspect
import itertools
import math
import os
import shutil
import struct
import subprocess
import sys

import pytest

import vellomir
from conftest import (FUNCTION_NAMES, HAS_EXPORT_HOOK, PY_MOD_EXEC, PY_MOD_GIL, SIGNATURES, VALID_ARGUMENTS,
                      classic_slots, run_python)

wm = vellomir.witt_mao_magnification


# ---- Registration and introspection ------------------------------------------------


class TestRegistration:
    def test_all_lists_the_functions_in_registration_order(self):
        assert vellomir.__all__ == FUNCTION_NAMES

    def test_every_name_in_all_is_a_builtin_function(self):
        for name in vellomir.__all__:
            function = getattr(vellomir, name)
            assert type(function).__name__ == "builtin_function_or_method"
            assert function.__name__ == name
            assert function.__qualname__ == name

    def test_module_docstring_is_one_sentence(self):
        doc = vellomir.__doc__
        assert isinstance(doc, str) and doc.endswith(".") and "\n" not in doc

    def test_panic_exception_is_not_a_module_attribute(self):
        assert not hasattr(vellomir, "PanicException")

    @pytest.mark.parametrize("name", FUNCTION_NAMES)
    def test_function_metadata(self, name):
        function = getattr(vellomir, name)
        assert function.__module__ == "vellomir"
        assert function.__doc__ is None
        assert function.__self__ is None
        assert function.__text_signature__ == "(" + ", ".join(SIGNATURES[name]) + ")"

    @pytest.mark.parametrize("name", FUNCTION_NAMES)
    def test_introspected_signature(self, name):
        parameters = list(inspect.signature(getattr(vellomir, name)).parameters.values())
        assert tuple(p.name for p in parameters) == SIGNATURES[name]
        for p in parameters:
            assert p.kind is inspect.Parameter.POSITIONAL_OR_KEYWORD
            assert p.default is inspect.Parameter.empty

    def test_discrete_flux_map_signature(self):
        assert str(inspect.signature(vellomir.discrete_flux_map_heyrovsky_magnification)) == "(l, re, rstar, bl, bf)"


class TestKeywordCalls:
    @pytest.mark.parametrize("name", FUNCTION_NAMES)
    def test_keywords_in_any_order_give_the_positional_result(self, name):
        function = getattr(vellomir, name)
        arguments = VALID_ARGUMENTS[name]
        positional = function(*(arguments[p] for p in SIGNATURES[name]))
        for order in itertools.permutations(SIGNATURES[name]):
            assert function(**{p: arguments[p] for p in order}) == positional

    @pytest.mark.parametrize("name", FUNCTION_NAMES)
    def test_positional_prefix_and_keyword_rest(self, name):
        function = getattr(vellomir, name)
        arguments = VALID_ARGUMENTS[name]
        parameters = SIGNATURES[name]
        expected = function(**arguments)
        for split in range(len(parameters) + 1):
            head = [arguments[p] for p in parameters[:split]]
            tail = {p: arguments[p] for p in reversed(parameters[split:])}
            assert function(*head, **tail) == expected


# ---- Argument matching ------------------------------------------------------------


def type_error_of(call):
    with pytest.raises(TypeError) as caught:
        call()
    return caught.value


class TestArgumentMatching:
    def test_too_many_positionals(self):
        error = type_error_of(lambda: wm([1.0], 1.0, 1.0, 1.0))
        assert str(error) == "witt_mao_magnification() takes 3 positional arguments but 4 were given"
        assert not hasattr(error, "__notes__")

    def test_too_many_positionals_is_reported_before_keywords(self):
        error = type_error_of(lambda: wm([1.0], 1.0, 1.0, 1.0, 1.0, 1.0, x=1))
        assert str(error) == "witt_mao_magnification() takes 3 positional arguments but 6 were given"

    @pytest.mark.parametrize(
        "name, args, message",
        [
            ("witt_mao_magnification", ([1.0], 1.0), "missing 1 required positional argument: 'rstar'"),
            ("witt_mao_magnification", ([1.0],), "missing 2 required positional arguments: 're' and 'rstar'"),
            ("witt_mao_magnification", (), "missing 3 required positional arguments: 'l', 're', and 'rstar'"),
            (
                "integrated_flux_map_heyrovsky_magnification",
                ([1.0],),
                "missing 4 required positional arguments: 're', 'rstar', 'bl', and 'bf'",
            ),
            ("heyrovsky_magnification", (1.0, 1.0, 1.0), "missing 1 required positional argument: 'rstar'"),
        ],
    )
    def test_missing_arguments(self, name, args, message):
        error = type_error_of(lambda: getattr(vellomir, name)(*args))
        assert str(error) == f"{name}() {message}"

    def test_missing_counts_only_empty_slots(self):
        error = type_error_of(lambda: wm([1.0], rstar=1.0))
        assert str(error) == "witt_mao_magnification() missing 1 required positional argument: 're'"
        error = type_error_of(lambda: vellomir.discrete_flux_map_heyrovsky_magnification(re=1.0, bf=[]))
        assert str(error) == (
            "discrete_flux_map_heyrovsky_magnification() missing 3 required positional arguments: "
            "'l', 'rstar', and 'bl'"
        )

    def test_unexpected_keyword(self):
        error = type_error_of(lambda: wm([1.0], 1.0, 1.0, x=1))
        assert str(error) == "witt_mao_magnification() got an unexpected keyword argument 'x'"

    def test_unexpected_keyword_comes_before_missing(self):
        error = type_error_of(lambda: wm([1.0], radius=1.0))
        assert str(error) == "witt_mao_magnification() got an unexpected keyword argument 'radius'"

    def test_keyword_match_is_exact(self):
        error = type_error_of(lambda: wm([1.0], 1.0, RSTAR=1.0))
        assert str(error) == "witt_mao_magnification() got an unexpected keyword argument 'RSTAR'"

    def test_multiple_values(self):
        error = type_error_of(lambda: wm([1.0], 1.0, 1.0, l=[2.0]))
        assert str(error) == "witt_mao_magnification() got multiple values for argument 'l'"

    def test_keyword_that_is_not_utf8_is_shown_as_str_gives_it(self):
        error = type_error_of(lambda: wm([1.0], 1.0, 1.0, **{"\udc80": 1}))
        assert str(error) == "witt_mao_magnification() got an unexpected keyword argument '\udc80'"

    def test_keyword_str_subclass_matches_by_text(self):
        class Name(str):
            pass

        assert wm(**{Name("l"): [1.0], Name("re"): 1.0, Name("rstar"): 0.1}) == wm([1.0], 1.0, 0.1)

    def test_unreadable_keyword_whose_str_fails_is_unprintable(self):
        class Name(str):
            def __str__(self):
                raise ValueError("no text")

        seen = []
        old_hook = sys.unraisablehook
        sys.unraisablehook = seen.append
        try:
            error = type_error_of(lambda: wm([1.0], 1.0, 1.0, **{Name("\udc80"): 1}))
        finally:
            sys.unraisablehook = old_hook
        assert str(error) == "witt_mao_magnification() got an unexpected keyword argument '<unprintable Name object>'"
        assert len(seen) == 1 and isinstance(seen[0].exc_value, ValueError)

    def test_matching_errors_carry_no_note(self):
        for call in (lambda: wm([1.0]), lambda: wm([1.0], 1.0, 1.0, x=1), lambda: wm([1.0], 1.0, 1.0, l=1)):
            assert not hasattr(type_error_of(call), "__notes__")


# ---- Conversion --------------------------------------------------------------------


def conversion_error(call, expected_type=TypeError):
    with pytest.raises(expected_type) as caught:
        call()
    return caught.value


class GetItemOnly:
    """Item access without a length: iterated until IndexError."""

    def __init__(self, values):
        self.values = values

    def __getitem__(self, index):
        return self.values[index]


class LyingLength(GetItemOnly):
    """A __len__ far larger than anything that could be reserved."""

    def __len__(self):
        return sys.maxsize


class BadLength(GetItemOnly):
    def __len__(self):
        raise RuntimeError("length unknown")


class Convertible:
    def __init__(self, value):
        self.value = value

    def __float__(self):
        return self.value


class Indexable:
    def __index__(self):
        return 7


class FloatFails:
    def __float__(self):
        raise ValueError("no float here")


class TestSequenceConversion:
    @pytest.mark.parametrize(
        "value, refused",
        [(1.5, "float"), (2, "int"), ({1.0}, "set"), ({1.0: 2.0}, "dict"), ((x for x in [1.0]), "generator")],
    )
    def test_non_sequences_are_refused(self, value, refused):
        error = conversion_error(lambda: wm(value, 1.0, 1.0))
        assert str(error) == f"'{refused}' object is not an instance of 'Sequence'"
        assert error.__notes__ == ["while processing 'l'"]

    def test_three_floats(self):
        error = conversion_error(lambda: wm(1.0, 1.0, 1.0))
        assert str(error) == "'float' object is not an instance of 'Sequence'"
        assert error.__notes__ == ["while processing 'l'"]

    def test_none(self):
        error = conversion_error(lambda: wm(None, 1.0, 1.0))
        assert str(error) == "'None' is not an instance of 'Sequence'"
        assert error.__notes__ == ["while processing 'l'"]

    def test_qualified_type_name(self):
        class Outer:
            class Inner:
                pass

        error = conversion_error(lambda: wm(Outer.Inner(), 1.0, 1.0))
        assert str(error) == (
            "'TestSequenceConversion.test_qualified_type_name.<locals>.Outer.Inner' object is not an instance of "
            "'Sequence'"
        )

    def test_type_name_that_cannot_be_read(self):
        Odd = type("Odd", (), {})
        Odd.__qualname__ = "\udc80"
        error = conversion_error(lambda: wm(Odd(), 1.0, 1.0))
        assert str(error) == "'<failed to extract type name>' object is not an instance of 'Sequence'"

    @pytest.mark.parametrize("text", ["1.0", "x", ""])
    def test_str_is_refused(self, text):
        error = conversion_error(lambda: wm(text, 1.0, 1.0))
        assert str(error) == "Can't extract `str` to `Vec`"
        assert error.__notes__ == ["while processing 'l'"]

    def test_str_subclass_is_refused(self):
        class Text(str):
            pass

        assert str(conversion_error(lambda: wm(Text("ab"), 1.0, 1.0))) == "Can't extract `str` to `Vec`"

    def test_list_containing_a_str(self):
        error = conversion_error(lambda: wm([1.0, "2.0"], 1.0, 1.0))
        assert str(error) == "must be real number, not str"
        assert error.__notes__ == ["while processing 'l'"]

    @pytest.mark.parametrize(
        "value",
        [
            (0.5, 1.0, 2.0),
            [0.5, 1, 2],
            array.array("d", [0.5, 1.0, 2.0]),
            GetItemOnly([0.5, 1.0, 2.0]),
            LyingLength([0.5, 1.0, 2.0]),
            BadLength([0.5, 1.0, 2.0]),
        ],
        ids=["tuple", "ints", "array", "getitem-only", "lying-len", "failing-len"],
    )
    def test_accepted_sequences(self, value):
        assert wm(value, 1.0, 0.1) == wm([0.5, 1.0, 2.0], 1.0, 0.1)

    def test_range_and_bytes_give_ints_as_floats(self):
        assert wm(range(3), 1.0, 0.1) == wm([0.0, 1.0, 2.0], 1.0, 0.1)
        assert wm(b"\x00\x01\x02", 1.0, 0.1) == wm([0.0, 1.0, 2.0], 1.0, 0.1)

    def test_bools_convert_to_one_and_two(self):
        assert wm([True, 2], 1.0, 0.1) == wm([1.0, 2.0], 1.0, 0.1)

    def test_items_with_float_or_index(self):
        assert wm([Convertible(0.5), Indexable()], 1.0, 0.1) == wm([0.5, 7.0], 1.0, 0.1)

    def test_item_whose_float_raises(self):
        error = conversion_error(lambda: wm([1.0, FloatFails()], 1.0, 1.0), ValueError)
        assert str(error) == "no float here"
        assert error.__notes__ == ["while processing 'l'"]

    def test_item_access_error_other_than_index_error(self):
        class Broken:
            def __getitem__(self, index):
                raise KeyError(index)

        error = conversion_error(lambda: wm(Broken(), 1.0, 1.0), KeyError)
        assert error.__notes__ == ["while processing 'l'"]

    def test_note_is_added_to_the_existing_notes(self):
        class Noted:
            def __float__(self):
                error = ValueError("bad")
                error.add_note("first")
                raise error

        error = conversion_error(lambda: wm([Noted()], 1.0, 1.0), ValueError)
        assert error.__notes__ == ["first", "while processing 'l'"]

    def test_empty_sequence(self):
        assert wm([], 1.0, 0.1) == []
        assert wm((), 1.0, 0.1) == []

    def test_flux_map_table_parameters_have_their_own_notes(self):
        f = vellomir.integrated_flux_map_witt_mao_magnification
        assert conversion_error(lambda: f([1.0], 1.0, 1.0, 0.5, [1.0])).__notes__ == ["while processing 'bl'"]
        assert conversion_error(lambda: f([1.0], 1.0, 1.0, [0.5], "1")).__notes__ == ["while processing 'bf'"]

    def test_multi_requires_sequences_for_re_and_rstar(self):
        f = vellomir.multi_witt_mao_magnification
        error = conversion_error(lambda: f([1.0], 1.0, [0.1]))
        assert str(error) == "'float' object is not an instance of 'Sequence'"
        assert error.__notes__ == ["while processing 're'"]
        assert conversion_error(lambda: f([1.0], [1.0], 0.1)).__notes__ == ["while processing 'rstar'"]


class TestFloatConversion:
    def test_str_for_re(self):
        error = conversion_error(lambda: wm([1.0], "1.0", 1.0))
        assert str(error) == "must be real number, not str"
        assert error.__notes__ == ["while processing 're'"]

    def test_none_for_rstar(self):
        error = conversion_error(lambda: wm([1.0], 1.0, None))
        assert error.__notes__ == ["while processing 'rstar'"]

    def test_int_too_large(self):
        error = conversion_error(lambda: wm([1.0], 10**400, 1.0), OverflowError)
        assert error.__notes__ == ["while processing 're'"]

    def test_float_raising(self):
        error = conversion_error(lambda: wm([1.0], FloatFails(), 1.0), ValueError)
        assert error.__notes__ == ["while processing 're'"]

    def test_minus_one_is_a_value_not_an_error(self):
        # A negative Einstein radius is converted and computed: its magnification is NaN.
        results = [wm([1.0], -1.0, 0.1), wm([1.0], Convertible(-1.0), 0.1), wm([1.0], -1, 0.1)]
        assert all(len(r) == 1 and math.isnan(r[0]) for r in results)

    def test_accepted_float_forms(self):
        class Real(float):
            pass

        expected = wm([1.0], 2.0, 0.5)
        assert wm([1.0], 2, 0.5) == expected
        assert wm([1.0], Real(2.0), 0.5) == expected
        assert wm([1.0], Convertible(2.0), 0.5) == expected
        assert vellomir.heyrovsky_magnification(True, 0.5, 1, 1) == vellomir.heyrovsky_magnification(1.0, 0.5, 1, 1)

    def test_conversion_stops_at_the_first_failure(self):
        touched = []

        class Spy:
            def __float__(self):
                touched.append(1)
                return 1.0

        error = conversion_error(lambda: wm("no", Spy(), Spy()))
        assert error.__notes__ == ["while processing 'l'"]
        assert touched == []

    def test_heyrovsky_parameters_have_their_own_notes(self):
        f = vellomir.heyrovsky_magnification
        for position, name in enumerate(("l", "r", "re", "rstar")):
            args = [0.5, 0.7, 1.0, 1.0]
            args[position] = "x"
            assert conversion_error(lambda: f(*args)).__notes__ == [f"while processing '{name}'"]


class TestResults:
    def test_results_are_new_lists_of_floats(self):
        arguments = [0.5, 1.0, 2.0]
        result = wm(arguments, 1.0, 0.1)
        assert type(result) is list and len(result) == 3
        assert all(type(x) is float for x in result)
        assert result is not arguments and wm(arguments, 1.0, 0.1) is not result

    def test_nested_result(self):
        result = vellomir.multi_witt_mao_magnification([0.5, 2.0], [1.0, 2.0], [0.1, 0.2, 0.3])
        assert type(result) is list and len(result) == 6
        assert all(type(row) is list and len(row) == 2 for row in result)

    def test_heyrovsky_returns_a_float(self):
        assert type(vellomir.heyrovsky_magnification(0.5, 0.7, 1.0, 1.0)) is float

    def test_nan_element_is_a_float_nan(self):
        result = wm([1.0, math.nan, 2.0], 1.0, 0.1)
        assert math.isnan(result[1]) and not math.isnan(result[0]) and not math.isnan(result[2])


# ---- The shared object and its import ----------------------------------------------


def read_slots():
    library = ctypes.PyDLL(vellomir.__file__)
    export = library.PyModExport_vellomir
    export.restype = ctypes.c_void_p
    address = export()
    slots = []
    while True:
        record = struct.unpack("<HHIQ", ctypes.string_at(address, 16))
        if record == (0, 0, 0, 0):
            return slots
        slots.append(record)
        address += 16


needs_export_hook = pytest.mark.skipif(not HAS_EXPORT_HOOK, reason="the export hook is new in CPython 3.15")


class TestSharedObject:
    @needs_export_hook
    def test_export_hook_slots(self):
        slots = read_slots()
        assert [(i, f) for i, f, _, _ in slots] == [(85, 0), (109, 2), (87, 4), (100, 2), (101, 2)]
        assert all(reserved == 0 for _, _, reserved, _ in slots)
        assert slots[2][3] == 1  # the GIL is not used
        assert ctypes.string_at(slots[3][3]) == b"vellomir"
        assert ctypes.string_at(slots[4][3]).decode() == vellomir.__doc__

    @needs_export_hook
    def test_abi_record_names_the_regular_build(self):
        abi_address = read_slots()[1][3]
        major, minor, flags, build_version, abi_version = struct.unpack("<BBHII", ctypes.string_at(abi_address, 12))
        assert (major, minor) == (1, 0)
        assert flags == (0x0004 if sys._is_gil_enabled() is False else 0x0002)
        assert (build_version, abi_version) == (0, 0)

    def test_classic_definition_slots(self):
        slots = classic_slots()
        assert [slot_id for slot_id, _ in slots] == [PY_MOD_EXEC, PY_MOD_GIL]
        assert slots[1][1] == 1  # the GIL is not used

    def test_classic_init_returns_a_module_definition(self):
        init = ctypes.PyDLL(vellomir.__file__).PyInit_vellomir
        init.restype = ctypes.py_object
        assert type(init()).__name__ == "moduledef"

    def test_classic_definition_builds_a_working_module(self):
        # What an interpreter without the export hook does with PyInit_vellomir's definition.
        init = ctypes.PyDLL(vellomir.__file__).PyInit_vellomir
        init.restype = ctypes.c_void_p
        definition = init()
        api = ctypes.pythonapi
        api.PyModule_FromDefAndSpec2.restype = ctypes.py_object
        api.PyModule_FromDefAndSpec2.argtypes = [ctypes.c_void_p, ctypes.py_object, ctypes.c_int]
        api.PyModule_ExecDef.restype = ctypes.c_int
        api.PyModule_ExecDef.argtypes = [ctypes.py_object, ctypes.c_void_p]
        module = api.PyModule_FromDefAndSpec2(definition, importlib.machinery.ModuleSpec("vellomir", None), 1013)
        assert module.__doc__ == vellomir.__doc__
        assert api.PyModule_ExecDef(module, definition) == 0
        assert module.__all__ == FUNCTION_NAMES
        assert module.witt_mao_magnification is not vellomir.witt_mao_magnification
        assert module.witt_mao_magnification([1.0, 2.0], 1.0, 0.1) == wm([1.0, 2.0], 1.0, 0.1)

    @pytest.mark.skipif(shutil.which("nm") is None, reason="nm (binutils) is needed to list the dynamic symbols")
    def test_only_the_two_hooks_are_exported(self):
        listing = subprocess.run(
            ["nm", "-D", "--defined-only", vellomir.__file__], check=True, capture_output=True, text=True
        ).stdout
        exported = {line.split()[-1] for line in listing.splitlines() if line.split()[-2:-1] in (["T"], ["t"])}
        assert exported == ({"PyInit_vellomir", "PyModExport_vellomir"} if HAS_EXPORT_HOOK else {"PyInit_vellomir"})


class TestImport:
    def test_plain_import_in_a_fresh_interpreter(self):
        done = run_python("import vellomir; print(vellomir.witt_mao_magnification([2.0], 1.0, 0.1)[0])")
        assert done.returncode == 0, done.stderr
        assert float(done.stdout) == wm([2.0], 1.0, 0.1)[0]
        assert done.stderr == ""

    def test_import_with_importtime(self):
        done = run_python("import vellomir", "-X", "importtime")
        assert done.returncode == 0, done.stderr
        assert any(line.rstrip().endswith("| vellomir") for line in done.stderr.splitlines())

    def test_import_creates_no_threads(self):
        done = run_python("import threading, vellomir, os; print(len(os.listdir('/proc/self/task')))")
        assert done.returncode == 0, done.stderr
        assert done.stdout.strip() == "1"

    def test_reload_keeps_the_module_as_it_is(self):
        function = vellomir.witt_mao_magnification
        reloaded = importlib.reload(vellomir)
        assert reloaded is vellomir
        assert vellomir.__all__ == FUNCTION_NAMES
        assert vellomir.witt_mao_magnification is function

    def test_second_instance_is_independent(self):
        saved = sys.modules.pop("vellomir")
        try:
            fresh = importlib.import_module("vellomir")
            assert fresh is not saved
            assert fresh.__all__ == FUNCTION_NAMES and fresh.__all__ is not saved.__all__
            assert fresh.witt_mao_magnification([1.0], 1.0, 0.1) == saved.witt_mao_magnification([1.0], 1.0, 0.1)
        finally:
            sys.modules["vellomir"] = saved


# ---- References and memory ------------------------------------------------------------


def rss_pages():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1])


class TestReferences:
    def test_input_list_and_items_keep_their_reference_counts(self):
        items = [float(i) / 7.0 for i in range(50)]
        before = (sys.getrefcount(items), [sys.getrefcount(x) for x in items])
        for _ in range(200):
            wm(items, 1.0, 0.1)
            vellomir.multi_witt_mao_magnification(items, [1.0], [0.1])
            vellomir.integrated_flux_map_witt_mao_magnification(items[:2], 1.0, 0.1, items[:3], items[:3])
        assert (sys.getrefcount(items), [sys.getrefcount(x) for x in items]) == before

    def test_failed_calls_release_their_references(self):
        items = [1.0 + i for i in range(10)] + ["bad"]
        re = 1.5e300 * 10
        before = (sys.getrefcount(items), [sys.getrefcount(x) for x in items], sys.getrefcount(re))
        for _ in range(200):
            with pytest.raises(TypeError):
                wm(items, re, 0.1)
            with pytest.raises(TypeError):
                wm(items[:-1], re, "x")
            with pytest.raises(BaseException):
                vellomir.integrated_flux_map_heyrovsky_magnification(items[:-1], re, 0.1, items[:2], items[:1])
        assert (sys.getrefcount(items), [sys.getrefcount(x) for x in items], sys.getrefcount(re)) == before

    @pytest.mark.skipif("libasan" in os.environ.get("LD_PRELOAD", ""),
                        reason="AddressSanitizer holds freed memory in quarantine; LeakSanitizer checks leaks there")
    def test_resident_memory_stays_flat_over_many_calls(self):
        l = [0.01 * i for i in range(1000)]

        def work(rounds):
            for _ in range(rounds):
                wm(l, 1.0, 0.1)
                vellomir.heyrovsky_magnification(0.5, 0.7, 1.0, 1.0)
                vellomir.multi_witt_mao_magnification(l[:20], [1.0, 2.0], [0.1])
                vellomir.discrete_flux_map_heyrovsky_magnification(l[:5], 1.0, 0.1, [0.5], [1.0])
                for bad in (lambda: wm(l[:3] + ["x"], 1.0, 0.1), lambda: wm(l, "1", 0.1)):
                    with pytest.raises(TypeError):
                        bad()
                with pytest.raises(BaseException):
                    vellomir.discrete_flux_map_heyrovsky_magnification(l[:3], 1.0, 0.1, [0.5], [])
            gc.collect()

        work(500)
        baseline = rss_pages()
        work(3000)
        grown_bytes = (rss_pages() - baseline) * 4096
        # Leaking even one 1000-element result list per round would add over 50 MB.
        assert grown_bytes < 16 * 1024 * 1024


class ResizingItem:
    """An item whose conversion changes the list that holds it."""

    def __init__(self, sequence, change):
        self.sequence, self.change = sequence, change

    def __float__(self):
        self.change(self.sequence)
        return 0.5


@pytest.mark.parametrize("change", [lambda s: s.append(3.0), lambda s: s.__delitem__(slice(-2, None))])
def test_a_list_changed_during_conversion_is_read_as_its_iterator_reads_it(change):
    """Exact lists are read by index: the length is read again before every item."""
    def items(sequence):
        sequence += [ResizingItem(sequence, change), 2.0, 4.0, 8.0]
        return sequence

    direct = vellomir.witt_mao_magnification(items([1.0]), 1.0, 0.1)
    through_iterator = vellomir.witt_mao_magnification(ItemsOf(items([1.0])), 1.0, 0.1)
    assert [x.hex() for x in direct] == [x.hex() for x in through_iterator]


class ItemsOf:
    """A sequence whose only route to the values is the list's own iterator."""

    def __init__(self, sequence):
        self.sequence = sequence

    def __len__(self):
        return len(self.sequence)

    def __getitem__(self, index):
        raise AssertionError("not used")

    def __iter__(self):
        return iter(self.sequence)
