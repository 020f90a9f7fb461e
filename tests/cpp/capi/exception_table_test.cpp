// The exception table: one case per row, both faces, and the sorting of C++ exceptions.

#include "capi/exception_table.hpp"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>

namespace vellomir {
namespace {

struct RowCase {
    Failure failure;
    std::string_view detail;
    PythonType classic_type;
    std::string classic_message;
    PythonType numpy_type;
    std::string numpy_message;
};

const RowCase row_cases[] = {
    {Failure::argument_mismatch, "f() takes 3 arguments (2 given)", PythonType::type_error,
     "f() takes 3 arguments (2 given)", PythonType::type_error, "f() takes 3 arguments (2 given)"},
    {Failure::argument_conversion, "rtol must be a real number", PythonType::as_raised, "", PythonType::type_error,
     "rtol must be a real number"},
    {Failure::argument_value, "radius must be sorted and within [0, 1]", PythonType::not_raised, "",
     PythonType::value_error, "radius must be sorted and within [0, 1]"},
    {Failure::model_error, "elliptic integral failed", PythonType::runtime_error, "elliptic integral failed",
     PythonType::value_error, "elliptic integral failed"},
    {Failure::signal, "", PythonType::as_raised, "", PythonType::as_raised, ""},
    {Failure::out_of_memory, "", PythonType::panic_exception, "native code ran out of memory",
     PythonType::memory_error, ""},
    {Failure::cpp_exception, "broken", PythonType::panic_exception, "broken", PythonType::runtime_error,
     "vellomir_numpy internal failure: broken"},
    {Failure::unknown_cpp_exception, "", PythonType::panic_exception,
     "native code panicked with an exception that carries no message", PythonType::runtime_error,
     "vellomir_numpy internal failure"},
};

TEST(ExceptionTable, EveryRowHasOneCase) { EXPECT_EQ(std::size(row_cases), exception_table.size()); }

class ExceptionTableRow : public testing::TestWithParam<RowCase> {};

TEST_P(ExceptionTableRow, TypeAndMessagePerFace) {
    const RowCase& row = GetParam();
    EXPECT_EQ(exception_rule(Face::classic, row.failure).type, row.classic_type);
    EXPECT_EQ(exception_rule(Face::numpy, row.failure).type, row.numpy_type);
    if (row.classic_type != PythonType::as_raised && row.classic_type != PythonType::not_raised) {
        EXPECT_EQ(exception_message(Face::classic, row.failure, row.detail), row.classic_message);
    }
    if (row.numpy_type != PythonType::as_raised && row.numpy_type != PythonType::memory_error) {
        EXPECT_EQ(exception_message(Face::numpy, row.failure, row.detail), row.numpy_message);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, ExceptionTableRow, testing::ValuesIn(row_cases),
                         [](const testing::TestParamInfo<RowCase>& info) {
                             return std::to_string(static_cast<int>(info.param.failure));
                         });

TEST(ClassifyCppException, SortsIntoTheThreeRows) {
    const CppFailure memory = classify_cpp_exception(std::make_exception_ptr(std::bad_alloc()));
    EXPECT_EQ(memory.failure, Failure::out_of_memory);
    EXPECT_EQ(memory.detail, "");

    const CppFailure fault = classify_cpp_exception(std::make_exception_ptr(std::logic_error("left != right")));
    EXPECT_EQ(fault.failure, Failure::cpp_exception);
    EXPECT_EQ(fault.detail, "left != right");

    const CppFailure odd = classify_cpp_exception(std::make_exception_ptr(42));
    EXPECT_EQ(odd.failure, Failure::unknown_cpp_exception);
    EXPECT_EQ(odd.detail, "");
}

}  // namespace
}  // namespace vellomir
