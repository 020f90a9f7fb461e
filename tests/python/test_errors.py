"""Errors raised to Python: RuntimeError from the models, PanicException for internal failures."""

import math
import sys

import pytest

import vellomir
from conftest import FLUX_MAP_NAMES, run_python

wm = vellomir.witt_mao_magnification
MISMATCH_1_0 = "assertion `left == right` failed\n  left: 1\n right: 0"


class TestPanicExceptionType:
    def test_names(self, panic_exception_type):
        assert panic_exception_type.__name__ == "PanicException"
        assert panic_exception_type.__module__ == "pyo3_runtime"
        assert panic_exception_type.__qualname__ == "PanicException"

    def test_derives_from_base_exception_only(self, panic_exception_type):
        assert panic_exception_type.__bases__ == (BaseException,)
        assert not issubclass(panic_exception_type, Exception)

    def test_docstring_has_several_lines(self, panic_exception_type):
        doc = panic_exception_type.__doc__
        assert isinstance(doc, str) and doc.count("\n") >= 2 and "BaseException" in doc

    def test_same_type_object_every_time(self, panic_exception_type):
        for name in FLUX_MAP_NAMES:
            with pytest.raises(BaseException) as caught:
                getattr(vellomir, name)([1.0], 1.0, 1.0, [0.5, 0.6], [1.0])
            assert type(caught.value) is panic_exception_type

    def test_handler_for_exception_does_not_catch_it(self, panic_exception_type):
        caught_by = None
        try:
            try:
                vellomir.discrete_flux_map_heyrovsky_magnification([1.0], 1.0, 1.0, [0.5], [])
            except Exception:
                caught_by = "Exception"
        except BaseException as error:
            caught_by = type(error)
        assert caught_by is panic_exception_type


class TestBrightnessTableMismatch:
    @pytest.mark.parametrize("name", FLUX_MAP_NAMES)
    def test_message_names_both_lengths(self, name, panic_exception_type):
        function = getattr(vellomir, name)
        with pytest.raises(panic_exception_type) as caught:
            function([1.0], 1.0, 1.0, [0.5], [])
        assert str(caught.value) == MISMATCH_1_0
        assert caught.value.args == (MISMATCH_1_0,)
        with pytest.raises(panic_exception_type) as caught:
            function([], 1.0, 1.0, [], [1.0, 2.0, 3.0])
        assert str(caught.value) == "assertion `left == right` failed\n  left: 0\n right: 3"

    def test_argument_errors_come_first(self):
        error = None
        try:
            vellomir.discrete_flux_map_heyrovsky_magnification([1.0], "x", 1.0, [0.5], [])
        except BaseException as caught:
            error = caught
        assert type(error) is TypeError and error.__notes__ == ["while processing 're'"]

    def test_process_and_pool_stay_usable(self, panic_exception_type):
        before = wm([0.0, 0.5, 1.0, 2.0] * 50, 1.0, 0.1)
        grid = vellomir.multi_witt_mao_magnification([0.5, 2.0], [1.0, 2.0], [0.1, 0.2])
        for _ in range(20):
            with pytest.raises(panic_exception_type):
                vellomir.integrated_flux_map_witt_mao_magnification([1.0], 1.0, 1.0, [0.5], [])
        assert wm([0.0, 0.5, 1.0, 2.0] * 50, 1.0, 0.1) == before
        assert vellomir.multi_witt_mao_magnification([0.5, 2.0], [1.0, 2.0], [0.1, 0.2]) == grid


class TestResumedPanic:
    """A PanicException raised by Python code during a conversion is resumed, not reported as an ordinary error."""

    def test_float_method_raising_panic_exception(self, capfd, panic_exception_type):
        original = panic_exception_type("broken invariant in a callback")

        class Panicking:
            def __float__(self):
                raise original

        capfd.readouterr()
        with pytest.raises(panic_exception_type) as caught:
            wm([1.0, Panicking()], 1.0, 1.0)
        err = capfd.readouterr().err
        assert caught.value is not original
        assert str(caught.value) == "broken invariant in a callback"
        lines = err.splitlines()
        assert "resuming a panic" in lines[0] and "PanicException" in lines[0]
        assert lines[1] == "Python stack trace below:"
        assert "Traceback (most recent call last):" in err
        assert lines[-1] == "pyo3_runtime.PanicException: broken invariant in a callback"

    def test_float_parameter_raising_panic_exception(self, capfd, panic_exception_type):
        class Panicking:
            def __float__(self):
                raise panic_exception_type("from re")

        with pytest.raises(panic_exception_type) as caught:
            wm([1.0], Panicking(), 1.0)
        assert str(caught.value) == "from re"
        assert not hasattr(caught.value, "__notes__")
        assert "Python stack trace below:" in capfd.readouterr().err

    def test_panic_exception_subclass_is_an_ordinary_error(self, capfd, panic_exception_type):
        Derived = type("Derived", (panic_exception_type,), {})

        class Raising:
            def __float__(self):
                raise Derived("plain")

        with pytest.raises(Derived) as caught:
            wm([Raising()], 1.0, 1.0)
        assert caught.value.__notes__ == ["while processing 'l'"]
        assert "Python stack trace below:" not in capfd.readouterr().err

    def test_unprintable_panic_message(self, capfd, panic_exception_type):
        class NoText:
            def __str__(self):
                raise ValueError("cannot show")

        class Panicking:
            def __float__(self):
                raise panic_exception_type(NoText())

        seen = []
        old_hook = sys.unraisablehook
        sys.unraisablehook = seen.append
        try:
            with pytest.raises(panic_exception_type) as caught:
                wm([Panicking()], 1.0, 1.0)
        finally:
            sys.unraisablehook = old_hook
        capfd.readouterr()
        assert str(caught.value) == "<unprintable PanicException object>"
        assert len(seen) == 1 and isinstance(seen[0].exc_value, ValueError)


class TestModelErrors:
    def test_nan_in_the_general_ring_case(self):
        with pytest.raises(RuntimeError) as caught:
            vellomir.heyrovsky_magnification(math.nan, 0.7, 1.0, 1.0)
        assert str(caught.value) == "ellipk: Arguments cannot be NAN."
        assert caught.value.args == ("ellipk: Arguments cannot be NAN.",)
        assert type(caught.value) is RuntimeError

    def test_rounded_n_equal_to_one_is_no_error(self):
        # 4 l r / (l + r)^2 rounds to 1 here, which once raised "ellippi: n cannot be 1."; the
        # ring kernel takes 1 - n from r - l and returns the finite true value instead.
        value = vellomir.heyrovsky_magnification(1e4, 1e4 + 2e-5, 1.0, 1.0)
        assert math.isfinite(value) and value > 1.0

    def test_discrete_flux_map_raises_the_first_ring_failure(self):
        with pytest.raises(RuntimeError) as caught:
            vellomir.discrete_flux_map_heyrovsky_magnification([0.5, math.nan], 1.0, 1.0, [0.3], [1.0])
        assert str(caught.value) == "ellipk: Arguments cannot be NAN."

    def test_uniform_disk_family_never_raises_for_numbers(self):
        bad = [math.nan, math.inf, -math.inf, 0.0, -1.0]
        assert len(wm(bad, 1.0, 0.1)) == len(bad)
        assert len(vellomir.integrated_witt_mao_magnification(bad, 1.0, 0.1)) == len(bad)
        assert len(vellomir.integrated_flux_map_witt_mao_magnification(bad, 1.0, 0.1, [0.5], [1.0])) == len(bad)
        assert len(vellomir.multi_witt_mao_magnification(bad, [math.nan, 1.0], [0.1])) == 2

    def test_conversion_error_is_not_a_panic(self):
        error = None
        try:
            vellomir.heyrovsky_magnification(0.5, "0.7", 1.0, 1.0)
        except BaseException as caught:
            error = caught
        assert type(error) is TypeError
        assert error.__notes__ == ["while processing 'r'"]


class TestOneTimeValuesOnFirstUse:
    def test_first_use_of_each_value_in_a_fresh_interpreter(self):
        # Each one-time value is met first on its error path here, before anything else created it.
        code = r"""
import vellomir
try:
    vellomir.witt_mao_magnification(1.0, 1.0, 1.0)
except TypeError as error:
    print(str(error), error.__notes__)
try:
    vellomir.discrete_flux_map_heyrovsky_magnification([1.0], 1.0, 1.0, [0.5], [])
except BaseException as error:
    print(type(error).__module__, type(error).__name__)
print(len(vellomir.witt_mao_magnification([1.0, 2.0], 1.0, 0.1)))
"""
        done = run_python(code)
        assert done.returncode == 0, done.stderr
        assert done.stdout.splitlines() == [
            "'float' object is not an instance of 'Sequence' [\"while processing 'l'\"]",
            "pyo3_runtime PanicException",
            "2",
        ]

    def test_collections_abc_sequence_unavailable_is_a_panic(self):
        code = r"""
import sys
import collections.abc
del collections.abc.Sequence
import vellomir
try:
    vellomir.witt_mao_magnification(1.0, 1.0, 1.0)
except Exception as error:
    print("ordinary", type(error).__name__)
except BaseException as error:
    print(type(error).__name__, str(error).splitlines()[0][:60])
print(vellomir.witt_mao_magnification([2.0], 1.0, 0.1) == vellomir.witt_mao_magnification((2.0,), 1.0, 0.1))
"""
        done = run_python(code)
        assert done.returncode == 0, done.stderr
        first, second = done.stdout.splitlines()
        assert first.startswith("PanicException failed to look up collections.abc.Sequence")
        assert second == "True"
