#pragma once
// Reads the mpmath reference tables under tests/data (written by tools/gen_model_*.py): one
// record per line, a tag followed by whitespace-separated fields; '#' starts a comment line.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace vellomir::testing {

struct Record {
    std::string tag;
    std::vector<std::string> fields;

    double number(std::size_t i) const { return std::strtod(fields.at(i).c_str(), nullptr); }
};

inline std::vector<Record> read_reference(const std::string& name) {
    std::string path = VELLOMIR_TEST_DATA_DIR;  // appended, not a + chain: GCC 12 warns falsely there
    path += '/';
    path += name;
    std::ifstream in(path);
    EXPECT_TRUE(in.good()) << "cannot open reference table " << name;
    std::vector<Record> records;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream words(line);
        Record record;
        words >> record.tag;
        for (std::string field; words >> field;) record.fields.push_back(field);
        records.push_back(std::move(record));
    }
    return records;
}

// Comma-separated doubles, as the tables of brightness profiles are written.
inline std::vector<double> split_numbers(const std::string& text) {
    std::vector<double> values;
    std::istringstream in(text);
    for (std::string item; std::getline(in, item, ',');) values.push_back(std::strtod(item.c_str(), nullptr));
    return values;
}

inline double relative_error(double got, double expected) { return std::fabs(got - expected) / std::fabs(expected); }

// Largest relative error over a group of cases, with the case that attains it.
struct WorstError {
    double error = 0.0;
    std::string where;

    void add(double got, double expected, const std::string& label) {
        const double e = relative_error(got, expected);
        if (!(e <= error)) {  // a NaN error is kept as the worst
            error = e;
            where = label;
        }
    }
};

}  // namespace vellomir::testing
