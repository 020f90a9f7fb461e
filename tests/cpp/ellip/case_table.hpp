#pragma once
// Reader of the case tables in tests/data: one case a line,
//   [id] function input... -> expected
// with "--" lines as group headings. Numbers are read with strtod, which reads every form
// Python's repr and float.hex write (inf, nan, hexadecimal) exactly.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace vellomir::test {

struct TableCase {
    std::string id;  // empty for tables without an id column
    std::string function;
    std::vector<double> inputs;
    double expected = 0.0;
    int line = 0;
};

enum class IdColumn { absent, present };

inline std::vector<TableCase> read_case_table(const std::string& name, IdColumn ids) {
    std::string path = VELLOMIR_TEST_DATA_DIR;  // appended, not a + chain: GCC 12 warns falsely there
    path += '/';
    path += name;
    std::ifstream file(path);
    EXPECT_TRUE(file.is_open()) << "cannot open " << path;
    std::vector<TableCase> cases;
    std::string text;
    for (int line = 1; std::getline(file, text); ++line) {
        if (text.empty() || text.starts_with("--")) {
            continue;
        }
        std::istringstream fields(text);
        TableCase c;
        c.line = line;
        if (ids == IdColumn::present) {
            fields >> c.id;
        }
        fields >> c.function;
        std::string token;
        bool arrow = false;
        while (fields >> token) {
            if (token == "->") {
                arrow = true;
            } else if (arrow) {
                c.expected = std::strtod(token.c_str(), nullptr);
            } else {
                c.inputs.push_back(std::strtod(token.c_str(), nullptr));
            }
        }
        EXPECT_TRUE(arrow) << name << " line " << line << " has no '->'";
        cases.push_back(std::move(c));
    }
    return cases;
}

}  // namespace vellomir::test
