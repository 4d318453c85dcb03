// Reads the whitespace-separated reference tables of tests/data (a '#' header line, then rows).
#pragma once

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace caustica::testing {

inline std::vector<std::vector<double>> read_table(const std::string& name) {
  std::ifstream in(std::string(CAUSTICA_TEST_DATA) + "/" + name);
  std::vector<std::vector<double>> rows;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::vector<double> row;
    for (std::string field; fields >> field;) row.push_back(std::stod(field));
    rows.push_back(std::move(row));
  }
  return rows;
}

inline double relative_error(double value, double reference) {
  return std::abs(value - reference) / std::abs(reference);
}

}  // namespace caustica::testing
