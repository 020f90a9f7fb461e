// Looking up the exception table and sorting C++ exceptions into its rows.

#include "capi/exception_table.hpp"

#include <new>

namespace vellomir {

const FaceRule& exception_rule(Face face, Failure failure) noexcept {
    const ExceptionRow& row = exception_table[static_cast<std::size_t>(failure)];
    return face == Face::classic ? row.classic : row.numpy;
}

std::string exception_message(Face face, Failure failure, std::string_view detail) {
    const FaceRule& rule = exception_rule(face, failure);
    std::string message(rule.text);
    if (rule.with_detail) message += detail;
    return message;
}

CppFailure classify_cpp_exception(std::exception_ptr exception) {
    try {
        std::rethrow_exception(exception);
    } catch (const std::bad_alloc&) {
        return {Failure::out_of_memory, {}};
    } catch (const std::exception& failure) {
        return {Failure::cpp_exception, failure.what()};
    } catch (...) {
        return {Failure::unknown_cpp_exception, {}};
    }
}

}  // namespace vellomir
