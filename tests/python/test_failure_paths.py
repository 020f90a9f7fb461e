"""Failure paths that ordinary calls do not reach: the exec slot given odd modules, and
interpreter allocations that fail while functions are registered or results are built."""

import ctypes
import sys
import types

import pytest

import vellomir
from conftest import FUNCTION_NAMES, exec_slot_address


# The exec slot called directly: with an object (ctypes raises the exception it leaves set)
# and with a raw pointer, so that NULL can be passed.
module_exec = ctypes.PYFUNCTYPE(ctypes.c_int, ctypes.py_object)(exec_slot_address())
module_exec_raw = ctypes.PYFUNCTYPE(ctypes.c_int, ctypes.c_void_p)(exec_slot_address())


def exec_error(module):
    with pytest.raises(BaseException) as caught:
        module_exec(module)
    return caught.value


class TestExecSlot:
    def test_fresh_module(self):
        module = types.ModuleType("vellomir")
        assert module_exec(module) == 0
        assert module.__all__ == FUNCTION_NAMES
        assert all(getattr(module, name).__module__ == "vellomir" for name in FUNCTION_NAMES)

    def test_null_module_without_a_pending_error(self):
        with pytest.raises(SystemError) as caught:
            module_exec_raw(None)
        assert str(caught.value) == "attempted to fetch exception but none was set"

    @pytest.mark.parametrize(
        "value, message",
        [
            (42, "'int' object is not an instance of 'module'"),
            (None, "'None' is not an instance of 'module'"),
            ([], "'list' object is not an instance of 'module'"),
        ],
    )
    def test_not_a_module(self, value, message):
        error = exec_error(value)
        assert type(error) is TypeError and str(error) == message

    @pytest.mark.parametrize(
        "value, message",
        [
            (("x",), "'tuple' object is not an instance of 'list'"),
            (None, "'None' is not an instance of 'list'"),
        ],
    )
    def test_all_that_is_not_a_list(self, value, message):
        module = types.ModuleType("vellomir")
        module.__all__ = value
        error = exec_error(module)
        assert type(error) is TypeError and str(error) == message
        # The first function was created, but the failure came before it was stored.
        assert module.__all__ is value and not hasattr(module, FUNCTION_NAMES[0])

    def test_existing_list_or_list_subclass_is_extended(self):
        class Names(list):
            pass

        for existing in (["before"], Names(["before"])):
            module = types.ModuleType("vellomir")
            module.__all__ = existing
            assert module_exec(module) == 0
            assert module.__all__ is existing and existing == ["before", *FUNCTION_NAMES]

    def test_module_subclass_under_another_name(self):
        class Module(types.ModuleType):
            pass

        module = Module("elsewhere")
        assert module_exec(module) == 0
        assert module.witt_mao_magnification.__module__ == "elsewhere"

    def test_error_other_than_attribute_error_while_reading_all(self):
        class Guarded(types.ModuleType):
            def __getattr__(self, name):
                raise KeyError(name)

        error = exec_error(Guarded("vellomir"))
        assert type(error) is KeyError and error.args == ("__all__",)

    def test_failed_store_of_a_new_all(self):
        class ReadOnly(types.ModuleType):
            def __setattr__(self, name, value):
                raise AttributeError("read-only " + name)

        error = exec_error(ReadOnly("vellomir"))
        assert type(error) is AttributeError and str(error) == "read-only __all__"


# ---- Interpreter allocations that fail -------------------------------------------------

try:
    import _testcapi as testcapi
except ImportError:
    testcapi = None


def panic_exception_type():
    with pytest.raises(BaseException) as caught:
        vellomir.discrete_flux_map_heyrovsky_magnification([1.0], 1.0, 1.0, [0.5], [])
    return type(caught.value)


def outcomes_with_one_failing_allocation(call, attempts):
    """(k, result or exception) when the k-th interpreter allocation of `call` fails, for each k."""
    panic = panic_exception_type()
    outcomes = []
    for k in range(attempts):
        testcapi.set_nomemory(k, k + 1)
        try:
            result = call()
        except (MemoryError, panic) as error:
            result = error
        finally:
            testcapi.remove_mem_hooks()
        outcomes.append((k, result))
    return panic, outcomes


@pytest.fixture
def unraisable():
    seen = []
    old_hook = sys.unraisablehook
    sys.unraisablehook = seen.append
    yield seen
    sys.unraisablehook = old_hook


@pytest.mark.skipif(
    not hasattr(testcapi, "set_nomemory"), reason="the interpreter's test API cannot make allocations fail"
)
class TestFailingAllocations:
    def test_result_list_that_cannot_be_built(self, unraisable):
        l = [0.25 * i for i in range(40)]
        expected = vellomir.witt_mao_magnification(l, 1.0, 0.1)
        panic, outcomes = outcomes_with_one_failing_allocation(lambda: vellomir.witt_mao_magnification(l, 1.0, 0.1), 60)
        panics = [result for _, result in outcomes if type(result) is panic]
        assert panics, "no allocation of the result list was made to fail"
        assert all(str(p) == "PyObject pointer is null" for p in panics)
        # Each one followed the interpreter's own MemoryError, reported as unraisable.
        assert len(unraisable) == len(panics)
        assert all(isinstance(u.exc_value, MemoryError) for u in unraisable)
        assert all(result == expected for _, result in outcomes if type(result) is list)

    def test_registration_that_cannot_append_to_all(self, unraisable):
        modules = []

        def register():
            module = types.ModuleType("vellomir")
            module.__all__ = []
            modules.append(module)
            try:
                return module_exec(module)
            except ctypes.ArgumentError:  # ctypes itself could not pass the module
                return None

        panic, outcomes = outcomes_with_one_failing_allocation(register, 40)
        prefix = "could not append __name__ to __all__: { type: <class 'MemoryError'>, value: MemoryError()"
        panics = [result for _, result in outcomes if type(result) is panic]
        assert panics, "no append to __all__ was made to fail"
        assert all(str(p).startswith(prefix) for p in panics)
        assert any(result == 0 for _, result in outcomes)
        for module in modules:
            # Functions registered before a failure stay (a name is listed before its
            # function is stored, so only the last listed one may be missing).
            names = module.__all__
            assert names == FUNCTION_NAMES[: len(names)]
            assert all(hasattr(module, name) for name in names[:-1])
